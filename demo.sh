#!/usr/bin/env bash
# Builds Wardenix, makes a demo program folder, registers and starts the service there, and
# shows its state through the console. Nothing outside this folder is touched: the demo keeps
# its own registry store and lock folder and uses the built-in supervisor, never systemd.
#
#   ./demo.sh           run the demo and stop the service at the end
#   ./demo.sh --keep    leave the demo service running (stop it with: ./demo.sh --stop)
#   ./demo.sh --stop    stop and unregister the demo service
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
demo="$root/demo"
export WDX_HOME="$demo/" WDX_REGISTRY="$demo/registry" WDX_LOCK_DIR="$demo/locks" WDX_SUPERVISOR=1
dist="$root/build/dist"

stop_demo() {
  if [ -x "$dist/wdxsvc" ] && [ -f "$demo/registry" ]; then
    "$dist/wdxsvc" -UnregServer || true  # stops the supervised service, then unregisters
  fi
}

if [ "${1:-}" = "--stop" ]; then
  stop_demo
  echo "Demo service stopped and unregistered."
  exit 0
fi

scripts/install-deps.sh
echo "== build"
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo --target dist

stop_demo
rm -rf "$demo"
mkdir -p "$demo"
wardenix() { "$dist/wardenix" "$@"; }

echo "== demo program folder: $demo"
wardenix settings set AdminId operator
wardenix settings set MachineName "$(hostname)"
wardenix settings set Password demo-only
wardenix settings set MinuteInterval 1
wardenix settings add URLS "http://127.0.0.1:8080/"
wardenix settings list

echo "== register and install the service (wdxsvc -Service)"
"$dist/wdxsvc" -Service
echo "== initialise the command object (wardenix command 999)"
wardenix command 999
echo "== operations state (wardenix command 1004; 999 = ready)"
state=$(wardenix command 1004)
echo "$state"
echo "== GO mode running? (wardenix command 1005; -1 = yes, 0 = no)"
wardenix command 1005
echo "== service log (last lines of $demo/WDXSVC.log)"
tail -n 12 "$demo/WDXSVC.log" | tr -d '\r'

if [ "${1:-}" != "--keep" ]; then
  echo "== stop and unregister"
  stop_demo
fi
[ "$state" = "999" ] && echo "Demo finished: the service reached state 999 (ready)."
