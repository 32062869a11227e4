#!/usr/bin/env bash
# Checks a built package against the layout: check_contents.sh DEB EXPECTED_LIST SOURCE_DIR.
# EXPECTED_LIST has one "MODE PATH" line a file or folder ("drwxr-xr-x usr/lib/wardenix/"),
# every one owned by root. Also checks the control fields, the conffiles, the maintainer scripts
# and the compression of the man pages and the changelog.
set -euo pipefail
deb=$1 expected=$2 source=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Files: mode and path, nothing more and nothing less.
actual=$(dpkg-deb --contents "$deb" | awk '{ path = $6; sub(/^\.\//, "", path); if (path != "") print $1, path }' | sort)
want=$(grep -v '^#' "$expected" | sed '/^$/d' | sort)
if [ "$actual" != "$want" ]; then
  fail "the package's files differ from $expected (< expected, > package):"
  diff <(echo "$want") <(echo "$actual") >&2 || true
fi
owners=$(dpkg-deb --contents "$deb" | awk '$2 != "root/root" { print $2, $6 }')
[ -z "$owners" ] || fail "files not owned by root: $owners"

# Control fields: the version is the console's, the library dependencies were computed.
version=$(sed -n 's/.*WDX_PRODUCT_VERSION = "\([^"]*\)".*/\1/p' "$source/console/about.h")
[ "$(dpkg-deb -f "$deb" Package)" = wardenix ] || fail "Package is not wardenix"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "Architecture is not amd64"
[ "$(basename "$deb")" = "wardenix_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libssl3 libcpp-httplib libespeak-ng1 libpocketsphinx3 libre0 \
  librem0 libsamplerate0 pocketsphinx-en-us; do
  [[ ", $depends" == *", $library"* ]] || fail "Depends lacks $library: $depends"
done
[[ "$depends" =~ libc6\ \(\>=\ [0-9.]+\) ]] || fail "libc6 has no version from the binaries"

# Control files: conffiles, and the maintainer scripts executable.
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$deb" "$control"
printf '/etc/wardenix/Wardenix.ini\n/etc/wardenix/webreset\n' | cmp -s - "$control/conffiles" ||
  fail "conffiles: $(cat "$control/conffiles")"
for script in postinst prerm postrm; do
  [ "$(stat -c %a "$control/$script")" = 755 ] || fail "$script is not mode 755"
  sh -n "$control/$script" || fail "$script is not valid sh"
done

# Man pages and the changelog: gzip at its best compression, with no file name or time inside.
files=$control/files
dpkg-deb -x "$deb" "$files"
for member in usr/share/man/man1/wardenix.1.gz usr/share/man/man8/wdxsvc.8.gz \
  usr/share/doc/wardenix/changelog.gz; do
  header=$(od -An -tx1 -N9 "$files/$member" | tr -d ' \n')
  # 1f8b: gzip; 08: deflate; 00: no name; 00000000: no time; 02: best compression.
  [ "$header" = 1f8b08000000000002 ] || fail "$member is not gzip -9n: header $header"
done
for page in "man1/wardenix.1.gz:.TH WARDENIX 1" "man8/wdxsvc.8.gz:.TH WDXSVC 8"; do
  first=$(gzip -dc "$files/usr/share/man/${page%%:*}" | grep -m1 '^\.TH' || true)
  [[ "$first" == "${page#*:}"* ]] || fail "${page%%:*} opens with $first"
done

[ "$failures" = 0 ] || exit 1
echo "The package matches the layout."
