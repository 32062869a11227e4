#!/usr/bin/env bash
# Installs the Debian packages that building and testing Wardenix needs, when missing.
set -euo pipefail

packages=(build-essential cmake ninja-build ccache pkg-config git
  nlohmann-json3-dev libcpp-httplib-dev libssl-dev openssl python3-aiosmtpd
  python3-prometheus-client
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libespeak-ng-dev espeak-ng-data libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us
  libsamplerate0-dev libsndfile1-dev libre-dev librem-dev baresip-core sip-tester espeak-ng
  dpkg-dev lintian)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

# Browser tests: Debian's chromium, driven by npm's playwright-core (never a downloaded browser).
browser_missing=()
command -v chromium > /dev/null || browser_missing+=(chromium)
command -v node > /dev/null || browser_missing+=(nodejs)
command -v npm > /dev/null || browser_missing+=(npm)
if ((${#browser_missing[@]})); then
  echo "Installing: ${browser_missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${browser_missing[@]}"
fi
browser_dir="$(dirname "$0")/../tests/browser"
if [ ! -d "$browser_dir/node_modules/playwright-core" ]; then
  echo "Installing playwright-core for the browser tests"
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --prefix "$browser_dir" --no-audit --no-fund
fi
