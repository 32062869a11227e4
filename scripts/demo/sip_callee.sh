#!/usr/bin/env bash
# A SIP callee for the demo: Debian's baresip as sip:USER@127.0.0.1:PORT, answering every call at
# once and saying WORD (then two seconds of silence, over and over); what it hears is recorded in
# FOLDER/heard/ (the "-dec.wav" file).
# Usage: sip_callee.sh start FOLDER PORT USER WORD | stop FOLDER
set -euo pipefail

command="${1:-}"
folder="${2:?usage: sip_callee.sh start FOLDER PORT USER WORD | stop FOLDER}"
if [ "$command" = "stop" ]; then
  [ -f "$folder/baresip.pid" ] && kill "$(cat "$folder/baresip.pid")" 2>/dev/null || true
  rm -f "$folder/baresip.pid"
  exit 0
fi
port="${3:?port}"
user="${4:?user}"
word="${5:?word}"
mkdir -p "$folder/heard"

# baresip plays a WAV file only at the line's rate: espeak-ng speaks at 22050 Hz, so the word is
# resampled to 8 kHz and repeated for a minute.
espeak-ng -w "$folder/word.wav" "$word"
python3 -W ignore - "$folder/word.wav" "$folder/says.wav" <<'PY'
import audioop, sys, wave
with wave.open(sys.argv[1]) as w:
    rate, frames = w.getframerate(), w.readframes(w.getnframes())
word, _ = audioop.ratecv(frames, 2, 1, rate, 8000, None)
silence = b"\0\0" * 16000
with wave.open(sys.argv[2], "wb") as out:
    out.setnchannels(1); out.setsampwidth(2); out.setframerate(8000)
    out.writeframes((word + silence) * 30)
PY

cat > "$folder/config" <<CFG
poll_method epoll
sip_listen 127.0.0.1:$port
net_interface 127.0.0.1
audio_source aufile,$folder/says.wav
audio_player aubridge,nil
audio_alert aubridge,nil
snd_path $folder/heard
module_path /usr/lib/baresip/modules
module g711.so
module aufile.so
module aubridge.so
module sndfile.so
module_tmp account.so
CFG
echo "<sip:$user@127.0.0.1>;regint=0;answermode=auto" > "$folder/accounts"

baresip -f "$folder" > "$folder/baresip.out" 2>&1 &
echo $! > "$folder/baresip.pid"
for _ in $(seq 50); do
  grep -q "baresip is ready" "$folder/baresip.out" 2>/dev/null && exit 0
  sleep 0.1
done
echo "baresip did not start; see $folder/baresip.out" >&2
exit 1
