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
# The demo runs 30 times faster than real time: a one-minute test cycle takes 2 seconds.
export WDX_TIME_SCALE=30
dist="$root/build/dist"
local_port=18080
remote_port=18081
worker_port=18082
signal_port=18083

stop_demo() {
  if [ -x "$dist/wdxsvc" ] && [ -f "$demo/registry" ]; then
    "$dist/wdxsvc" -UnregServer || true  # stops the supervised service, then unregisters
  fi
  # The service may have restarted the local application: stop every copy of the demo programs.
  pkill -f "$demo/bin/demo_" 2>/dev/null || true
}

# Prints the service's status every second for $1 seconds.
watch_status() {
  for _ in $(seq "$1"); do
    sleep 1
    echo "-- $(date +%T)"
    wardenix status
  done
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
mkdir -p "$demo/local" "$demo/remote" "$demo/worker" "$demo/signal" "$demo/bin"
cp "$dist/grammer1.cfg" "$demo/"  # the phone component's grammar, as in the program folder
wardenix() { "$dist/wardenix" "$@"; }

echo "== demo web applications: this server's on port $local_port, a remote one on $remote_port"
echo "   a background worker of this server's application (a watched program), and a signal"
echo "   worker that keeps changing the first line of $demo/signal/alive.txt (the restart program's)"
for app in local remote worker signal; do
  port=$local_port
  [ "$app" = remote ] && port=$remote_port
  [ "$app" = worker ] && port=$worker_port
  [ "$app" = signal ] && port=$signal_port
  cp "$root/build/demo-app/wdx_demo_web" "$demo/bin/demo_$app"
  "$demo/bin/demo_$app" "$port" "$demo/$app" >"$demo/$app/log" 2>&1 &
done
sleep 2  # the activity test counts a program's age in whole seconds

echo "== demo program folder: $demo"
wardenix settings set AdminId operator
wardenix settings set MachineName "$(hostname)"
wardenix settings set Password demo-only
wardenix settings set MinuteInterval 1
wardenix settings set RestartsB4Reboot 0
wardenix settings set RstrSecs 60
wardenix settings set UseIni 1
wardenix settings add URLS "http://127.0.0.1:$local_port/health"
wardenix settings add RURLS "http://127.0.0.1:$remote_port/health"
# The worker is a watched program: its activity is tested, and a restart stops and starts it.
wardenix settings add STOPS "$demo/bin/demo_worker"
wardenix settings add PROGS "$demo/bin/demo_worker $worker_port $demo/worker"
wardenix settings list

# The demo's own web server reset: the shipped webreset would restart this machine's real web
# server. "wdxsvc -Service" leaves an existing webreset as it is.
printf '#!/bin/sh\necho "demo webreset: nothing to reset (the demo has no web server)."\n' >"$demo/webreset"
chmod +x "$demo/webreset"
# The restart program: DETECT checks that the signal worker keeps its signal file changing; the
# RESTARTER ends it by its program name, starts it again and waits for its ready flag.
cat >"$demo/Wardenix.ini" <<EOF_INI
## The demo's restart program (the shipped Wardenix.ini explains every key).
MaxWait=300
Begin=Detection
Detect=$demo/signal/alive.txt
End=Detection
Begin=RESTARTER
Stop=demo_signal
DeleteSignalFile=$demo/signal/ready.flg
Start=$demo/bin/demo_signal $signal_port $demo/signal
WaitForFile=$demo/signal/ready.flg
End=RESTARTER
EOF_INI
echo "== Wardenix.ini"
grep -v '^##' "$demo/Wardenix.ini"

# The demo's reboot: it records the request instead of restarting this machine.
printf '#!/bin/sh\necho "$(date +%%T) reboot requested by the Wardenix service" >>"%s/reboots.log"\n' \
  "$demo" >"$demo/fake-reboot"
chmod +x "$demo/fake-reboot"
export WDX_REBOOT_COMMAND="$demo/fake-reboot"

echo "== register and install the service (wdxsvc -Service)"
"$dist/wdxsvc" -Service
echo "== initialise the command object (wardenix command 999)"
wardenix command 999
echo "== operations state (wardenix command 1004; 999 = ready)"
state=$(wardenix command 1004)
echo "$state"
echo "== GO mode running? (wardenix command 1005; -1 = yes, 0 = no)"
wardenix command 1005

echo "== enter GO mode (wardenix go)"
wardenix go
watch_status 3
echo "== the remote application fails (touch $demo/remote/fail)"
touch "$demo/remote/fail"
watch_status 3
rm -f "$demo/remote/fail"
echo "== this server's application fails (touch $demo/local/fail): restarts follow"
touch "$demo/local/fail"
watch_status 4
echo "== it recovers (rm $demo/local/fail)"
rm -f "$demo/local/fail"
watch_status 4
echo "== the worker hangs (kill -STOP): the activity test names it, a restart follows"
kill -STOP "$(pgrep -f "$demo/bin/demo_worker" | head -n 1)"
watch_status 6
grep -a "Failure in" "$demo/WDXSVC.log" | tail -n 1 | tr -d '\r'

echo "== the signal worker stalls (kill -STOP): its signal file stops changing, DETECT fails,"
echo "   and the RESTARTER of Wardenix.ini ends it and starts it again"
old_signal=$(pgrep -f "$demo/bin/demo_signal" | head -n 1)
kill -STOP "$old_signal"
watch_status 9
grep -a "Activity Detect is NEGATIVE" "$demo/WDXSVC.log" | tail -n 1 | tr -d '\r'
grep -a "Task:: Start :" "$demo/WDXSVC.log" | tail -n 1 | tr -d '\r'
echo "signal worker: pid $old_signal before, pid $(pgrep -f "$demo/bin/demo_signal" | head -n 1) now"
echo "== UpTime.log (last lines)"
tail -n 8 "$demo/UpTime.log" | tr -d '\r'

echo "== a reboot (fake: $WDX_REBOOT_COMMAND records it): RestartsB4Reboot 1, and this server's"
echo "   application fails for good: one restart, then the next failed cycle reboots"
wardenix stop
wardenix settings set RestartsB4Reboot 1
touch "$demo/local/fail"
wardenix go
for _ in $(seq 30); do [ -f "$demo/reboots.log" ] && break; sleep 1; done
cat "$demo/reboots.log"
grep -a "REBOOT and RESTART" "$demo/WDXSVC.log" | tail -n 1 | tr -d '\r'
echo "server status kept for the boot: $(wardenix settings get SvrStatus)"
rm -f "$demo/local/fail"
echo "== phone alerts on the simulated line (numbers sim:...): Ann is called first and says"
echo "   \"no\", Bob second and says \"yes\"; the service reads them when it starts"
wardenix settings set PAck 1
wardenix settings set PName1 Ann
wardenix settings set PNum1 sim:no
wardenix settings set PE1 1
wardenix settings set PName2 Bob
wardenix settings set PNum2 sim:yes
wardenix settings set PE2 1
wardenix settings set MsgDown "The demo shop does not answer. Please have a look."
wardenix settings set MsgUp "The demo shop answers again."
wardenix settings set RestartsB4Reboot 0
echo "== the machine comes back: the service manager stops the service and starts it again; with"
echo "   AutoRun on, it enters GO mode by itself after RstrSecs and its first passing cycle says up"
"$dist/wdxsvc" -UnregServer
"$dist/wdxsvc" -Service
watch_status 6
grep -a "Will auto-start into GO mode shortly\|is AutoStarting" "$demo/WDXSVC.log" | tail -n 2 | tr -d '\r'

echo "== this server's application fails again: the down alert is phoned to Ann, then Bob"
touch "$demo/local/fail"
for _ in $(seq 90); do
  grep -aq "Delivered Phone Message:  'Server Down:" "$demo/WDXSVC.log" && break
  sleep 1
done
rm -f "$demo/local/fail"
grep -a "Delivered Phone Message" "$demo/WDXSVC.log" | tr -d '\r' || echo "(no phone round was delivered)"
echo "== PhoneOuts.log: who was phoned, who acknowledged"
grep -a "was phoned at\|Unable to connect\|recorded in" "$demo/PhoneOuts.log" | tail -n 8 | tr -d '\r' || true
echo "== what each callee heard, recorded on the simulated line (play with: aplay FILE)"
ls -1 "$demo"/simcalls/*.wav 2>/dev/null || echo "(no recordings)"

echo "== a real SIP call: baresip answers on 127.0.0.1:5560 and says \"yes\" (press 1 works too)"
if command -v baresip > /dev/null; then
  "$root/scripts/demo/sip_callee.sh" start "$demo/sipcallee" 5560 carol yes
  # A real line runs in real time: the phone test waits without the demo's time scale.
  WDX_TIME_SCALE= wardenix phone test sip:carol@127.0.0.1:5560 Carol | grep -v "^  .*(event)" || true
  "$root/scripts/demo/sip_callee.sh" stop "$demo/sipcallee"
  echo "what Carol heard (recorded by baresip):"
  ls -1 "$demo"/sipcallee/heard/*-dec.wav 2>/dev/null || echo "(no recording)"
else
  echo "(baresip is not installed: ./demo.sh installs it with the other packages)"
fi

echo "== leave GO mode (wardenix stop)"
wardenix stop
sleep 1
wardenix status

if [ "${1:-}" != "--keep" ]; then
  echo "== stop and unregister"
  stop_demo
fi
[ "$state" = "999" ] && echo "Demo finished: the service reached state 999 (ready)."
