#!/usr/bin/env bash
# Builds the Debian package build/wardenix_<version>_amd64.deb from the normal build:
#   scripts/package.sh [--no-build] [BUILD_DIR]
# --no-build packages the build folder as it is (the tests use it); otherwise the folder is
# configured and built first (release with debug info; the package's files are stripped).
set -euo pipefail
cd "$(dirname "$0")/.."
build_first=1
if [ "${1:-}" = "--no-build" ]; then build_first=0; shift; fi
dir=${1:-build}

for tool in dpkg-deb dpkg-shlibdeps cpack; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
if [ "$build_first" = 1 ]; then
  scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
elif [ ! -f "$dir/CPackConfig.cmake" ]; then
  echo "package.sh: $dir is not a configured build folder (run without --no-build)" >&2
  exit 1
fi
cd "$dir"
rm -f wardenix_*_amd64.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; echo "package.sh: cpack failed" >&2; exit 1; }
deb=$(ls wardenix_*_amd64.deb)
echo "$PWD/$deb"
