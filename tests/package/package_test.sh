#!/usr/bin/env bash
# Tests of the Debian package, one step a call (ctest runs them in this order):
#   package_test.sh build    BUILD_DIR   make BUILD_DIR/wardenix_<version>_amd64.deb (cpack)
#   package_test.sh contents BUILD_DIR   its files, owners, modes, control fields and scripts
#   package_test.sh lintian  BUILD_DIR   lintian finds no error and no warning
#   package_test.sh install  BUILD_DIR   dpkg -i, upgrade, remove and purge in a throw-away root
# Exit code 0 passed, 1 failed, 77 skipped (what the machine lacks is printed).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
step=$1
build=$(cd "$2" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

the_deb() {
  local debs=("$build"/wardenix_*_amd64.deb)
  [ -f "${debs[0]}" ] || fail "no package in $build: run the Package.Build test or scripts/package.sh"
  echo "${debs[0]}"
}

case $step in
  build)
    "$source/scripts/package.sh" --no-build "$build"
    ;;
  contents)
    exec "$here/check_contents.sh" "$(the_deb)" "$here/expected_contents.txt" "$source"
    ;;
  lintian)
    command -v lintian >/dev/null || skip "lintian is not installed (scripts/install-deps.sh)"
    # As root lintian warns that it should not be: that line is not about the package.
    out=$(lintian --fail-on error,warning --display-info "$(the_deb)" 2>&1) || {
      echo "$out"
      fail "lintian"
    }
    echo "$out" | grep -v '^running with root privileges' || true
    ;;
  install)
    exec "$here/install_root.sh" "$(the_deb)"
    ;;
  *)
    fail "unknown step $step"
    ;;
esac
