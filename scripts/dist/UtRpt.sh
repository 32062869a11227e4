#!/bin/bash
# UtRpt.sh: the uptime report of the program folder. Reads RParams.txt (blocks "@RURLS@",
# "@URLS@", "@STOPS@", lines ending in CR LF), walks each listed item's up/down series in
# UpTime.log through the uptime report component (WdReport.UtReport, called with wdxcall), and
# writes UptimeReport.html: a summary table, then per item a timeline of the last 24 hours,
# 7 days and 30 days, the uptime of each window and its outages. The page needs no network.
#
# Items are written to UpTime.log with the item manager's type numbers: [URLS] 101, [RURLS] 102,
# [STOPS] 100. One wdxcall process loads each item twice: the 30-day window, and everything
# before it (for the state the item had when the window began). A load holds at most 4096
# points, so each is walked 4096 steps without asking its count first (a step past the last
# point answers -1 and costs about a microsecond, a load of a large log tens of milliseconds);
# the count tells which steps were real. Arithmetic and HTML escaping are done in awk.
#
# The script works in the program folder it is called from (the folder of $0); wdxcall,
# wdxregsvr and WdReport.so are taken from the folder of the script itself, which differs when
# the program folder holds a link to it.
#
# WDX_REPORT_NOW (seconds since 1970) fixes "now" for a reproducible report.
set -u
PROGRAMS=$(dirname "$(readlink -f "$0")") || exit 1
readonly PROGRAMS
cd "$(dirname "$0")" || exit 1

readonly PARAMS=RParams.txt UPLOG=UpTime.log OUT=UptimeReport.html PROGID=WdReport.UtReport
readonly NOW=${WDX_REPORT_NOW:-$(date +%s)}
readonly SPAN=43200  # minutes in 30 days
STAMP_FORMAT="%m/%d/%Y %H:%M:%S"
START=$(date -d "@$((NOW - SPAN * 60))" +"$STAMP_FORMAT")
END=$(date -d "@$NOW" +"$STAMP_FORMAT")
ZONE=$(date -d "@$NOW" +%z)  # the offset of local time, for the times shown
WORK=$(mktemp -d) || exit 1
trap 'rm -rf "$WORK"' EXIT

# The items as "TYPE<TAB>NAME" lines.
items() {
  [ -f "$PARAMS" ] || return 0
  tr -d '\r' < "$PARAMS" | awk '
    $0 == "@RURLS@" { type = 102; next }
    $0 == "@URLS@" { type = 101; next }
    $0 == "@STOPS@" { type = 100; next }
    type && $0 != "" { print type "\t" $0 }'
}

# A text as a double-quoted word of a wdxcall line.
quoted() {
  local s=${1//\\/\\\\}
  printf '"%s"' "${s//\"/\\\"}"
}

readonly MAX_POINTS=4096  # the most points one load of the component holds

# The calls of one load of an item (window START..END, or "" .. START) and its whole walk.
load_and_walk() {
  printf 'ReloadData %s %s %s "%s" "%s"\nGetCount\nGetFirstTimepoint\n' "$1" "$2" "$UPLOG" "$3" "$4"
  yes $'GetPointState\nGetNextTimepoint' | head -n $((2 * MAX_POINTS))
}

# Runs the wdxcall lines of file $1 into file $2, registering the component once if needed.
call() {
  "$PROGRAMS/wdxcall" "$PROGID" < "$1" > "$2" 2> "$WORK/errors"
  local rc=$?
  if [ $rc -eq 2 ] && [ -x "$PROGRAMS/wdxregsvr" ]; then
    "$PROGRAMS/wdxregsvr" /s "$PROGRAMS/WdReport.so" &&
      "$PROGRAMS/wdxcall" "$PROGID" < "$1" > "$2" 2> "$WORK/errors"
    rc=$?
  fi
  if [ $rc -ne 0 ]; then
    echo "UtRpt.sh: the uptime report component failed (wdxcall exit code $rc):" >&2
    cat "$WORK/errors" >&2
    exit 1
  fi
}

items > "$WORK/items"
: > "$WORK/walk"
if [ ! -s "$WORK/items" ]; then
  echo "UtRpt.sh: $PARAMS is missing or lists no item; the report is empty." >&2
else
  [ -s "$UPLOG" ] || echo "UtRpt.sh: $UPLOG is missing or empty; every item reads no data." >&2
  while IFS=$'\t' read -r type name; do
    description=$(quoted ", $name, ")
    load_and_walk "$type" "$description" "$START" "$END"
    load_and_walk "$type" "$description" "" "$START"
  done < "$WORK/items" > "$WORK/walk.in"
  call "$WORK/walk.in" "$WORK/walk"
fi

awk -v items="$WORK/items" -v walk="$WORK/walk" -v now="$NOW" -v max_points="$MAX_POINTS" \
  -v span="$SPAN" -v zone="$ZONE" -v params="$PARAMS" -f /dev/stdin > "$WORK/$OUT" <<'AWK' || exit 1
function esc(s) {
  gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s)
  gsub(/"/, "\\&quot;", s); gsub(/'/, "\\&#39;", s)
  return s
}
function next_line(file,   line) {
  if ((getline line < file) <= 0) line = ""
  return line
}
# Local time text of a minute of the 30-day window.
function when(m,   t, days, secs, z, era, doe, yoe, doy, mp, d, mo, y) {
  t = start + m * 60 + offset
  days = int(t / 86400); secs = t - days * 86400
  z = days + 719468; era = int(z / 146097); doe = z - era * 146097
  yoe = int((doe - int(doe / 1460) + int(doe / 36524) - int(doe / 146096)) / 365)
  doy = doe - (365 * yoe + int(yoe / 4) - int(yoe / 100)); mp = int((5 * doy + 2) / 153)
  d = doy - int((153 * mp + 2) / 5) + 1; mo = mp < 10 ? mp + 3 : mp - 9
  y = yoe + era * 400 + (mo <= 2)
  return sprintf("%04d-%02d-%02d %02d:%02d", y, mo, d, int(secs / 3600), int(secs % 3600 / 60))
}
function length_text(m,   d, h) {
  d = int(m / 1440); h = int(m % 1440 / 60); m = m % 60
  return (d ? d "d " : "") ((d || h) ? h "h " : "") m "m"
}
function state_name(s) { return s == 1 ? "up" : s == 0 ? "down" : "no data" }
# Reads one load's walk: its count, then max_points steps of state and next minutes, of which
# the first count are points. Leaves the points in pm[] (minutes) and ps[] (state).
function read_load(   count, m, i, state) {
  next_line(walk); count = next_line(walk) + 0; m = next_line(walk) + 0
  for (i = 0; i < max_points; i++) {
    state = next_line(walk) + 0
    if (i < count) { pm[i] = m; ps[i] = state }
    m = next_line(walk) + 0
  }
  return count
}
# Loads item n's segments (seg_from, seg_to, seg_state) from the walk output.
function read_item(n,   count, before, i, last, prior, wm, ws) {
  count = read_load()
  for (i = 0; i < count; i++) { wm[i] = pm[i]; ws[i] = ps[i] }
  before = read_load()
  prior = before > 0 ? ps[before - 1] : -1
  nseg = 0; last = 0
  for (i = 0; i < count; i++) {
    wm[i] = wm[i] < last ? last : (wm[i] > span ? span : wm[i])  # a clock that went back keeps the order
    last = wm[i]
  }
  truncated[n] = count >= max_points
  add_seg(0, count ? wm[0] : span, prior)
  for (i = 0; i < count; i++) add_seg(wm[i], i + 1 < count ? wm[i + 1] : span, ws[i])
}
function add_seg(from, to, state) {
  if (to <= from) return
  if (nseg && seg_state[nseg - 1] == state && seg_to[nseg - 1] == from) { seg_to[nseg - 1] = to; return }
  seg_from[nseg] = from; seg_to[nseg] = to; seg_state[nseg] = state; nseg++
}
# Draws the run [run_a, run_b) of the timeline: red when any of it was down.
function flush_run(ws, w,   cls) {
  if (run_b <= run_a) return
  cls = run_down ? "down" : run_state == 1 ? "up" : run_state == 0 ? "down" : "none"
  svg = svg sprintf("<rect class=\"%s\" x=\"%.2f\" y=\"0\" width=\"%.2f\" height=\"20\"><title>%s %s - %s</title></rect>", \
    cls, (run_a - ws) * 720 / w, (run_b - run_a) * 720 / w, \
    run_parts > 1 ? run_parts " changes" : state_name(run_state), when(run_a), when(run_b))
  run_a = run_b; run_parts = 0; run_down = 0
}
# Writes the window of w minutes for item n into sections[n]; its uptime into pct[n, w]. Parts of
# the timeline narrower than a pixel are drawn together, so a flapping item keeps the page small;
# only the latest max_rows outages are listed.
function window(n, w, label,   ws, i, a, b, up, down, rows, p, k, first) {
  ws = span - w; up = down = 0; rows = ""; k = 0
  svg = "<svg class=\"timeline\" width=\"720\" height=\"20\" viewBox=\"0 0 720 20\" role=\"img\">"
  run_a = run_b = ws; run_parts = 0; run_down = 0
  for (i = 0; i < nseg; i++) {
    a = seg_from[i] < ws ? ws : seg_from[i]; b = seg_to[i]
    if (b <= a) continue
    if ((b - a) * 720 >= w) flush_run(ws, w)  # a part of its own
    run_b = b; run_state = seg_state[i]; run_parts++; run_down = run_down || seg_state[i] == 0
    if ((run_b - run_a) * 720 >= w) flush_run(ws, w)
    if (seg_state[i] == 1) up += b - a
    if (seg_state[i] == 0) {
      down += b - a
      outage[k++] = "<tr class=\"outage\"><td>" (seg_from[i] > 0 ? when(seg_from[i]) : "before " when(0)) \
        "</td><td>" (b >= span ? "ongoing" : when(b)) "</td><td>" length_text(b - seg_from[i]) "</td></tr>\n"
    }
  }
  flush_run(ws, w)
  first = k > max_rows ? k - max_rows : 0
  for (i = first; i < k; i++) rows = rows outage[i]
  p = up + down ? sprintf("%.1f %%", 100 * up / (up + down)) : "n/a"
  pct[n, w] = p
  # (mawk's sprintf holds 8 KB at most: long texts are joined, not formatted)
  sections[n] = sections[n] "<h3>" label ": <span class=\"pct\" data-window=\"" label "\">" p \
    "</span></h3>\n" svg "</svg>\n<div class=\"axis\"><span>" when(ws) "</span><span>" when(span) \
    "</span></div>\n"
  if (first) sections[n] = sections[n] "<p class=\"more\" data-count=\"" k "\">" k \
    " outages; the latest " max_rows " are listed.</p>\n"
  sections[n] = sections[n] (rows == "" ? "<p class=\"none\">No outage.</p>\n" : \
    "<table class=\"outages\" data-window=\"" label "\"><tr><th>Outage start</th><th>End</th><th>Length</th></tr>\n" rows "</table>\n")
}
BEGIN {
  start = now - span * 60
  max_rows = 100
  offset = (substr(zone, 1, 1) == "-" ? -1 : 1) * (substr(zone, 2, 2) * 3600 + substr(zone, 4, 2) * 60)
  type_name[100] = "Program"; type_name[101] = "URL"; type_name[102] = "Remote URL"
  n = 0
  while ((getline line < items) > 0) {
    split(line, f, "\t"); type[n] = f[1]; name[n] = substr(line, length(f[1]) + 2)
    read_item(n)
    now_state[n] = seg_state[nseg - 1]
    window(n, 1440, "24 hours"); window(n, 10080, "7 days"); window(n, span, "30 days")
    n++
  }
  print "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
  print "<title>Uptime report</title><style>"
  print "body{font-family:sans-serif;margin:1.5em;color:#222}table{border-collapse:collapse;margin:.5em 0}"
  print "td,th{border:1px solid #bbb;padding:.2em .6em;text-align:left}.up{fill:#2e7d32}.down{fill:#c62828}"
  print ".none{fill:#bdbdbd}td.up{color:#2e7d32}td.down{color:#c62828}.axis{width:720px;display:flex;justify-content:space-between;font-size:.8em;color:#555}"
  print "svg.timeline{border:1px solid #999;display:block}h3{margin:1em 0 .3em;font-size:1em}"
  print "</style></head><body>"
  printf "<h1>Uptime report</h1>\n<p>From %s to %s (local time).</p>\n", when(0), when(span)
  if (n == 0) {
    printf "<p class=\"empty\">No items: %s is missing or lists no item.</p>\n", esc(params)
  } else {
    print "<table class=\"summary\"><tr><th>Item</th><th>Type</th><th>Now</th><th>24 hours</th><th>7 days</th><th>30 days</th></tr>"
    for (i = 0; i < n; i++)
      printf "<tr><td><a href=\"#item%d\">%s</a></td><td>%s</td><td class=\"%s\">%s</td><td>%s</td><td>%s</td><td>%s</td></tr>\n", \
        i, esc(name[i]), type_name[type[i]], now_state[i] == 1 ? "up" : now_state[i] == 0 ? "down" : "none", \
        state_name(now_state[i]), \
        pct[i, 1440], pct[i, 10080], pct[i, span]
    print "</table>"
  }
  for (i = 0; i < n; i++) {
    printf "<section class=\"item\" id=\"item%d\"><h2>%s <small>(%s)</small></h2>\n", i, esc(name[i]), type_name[type[i]]
    if (truncated[i]) print "<p>Only the first 4096 changes of the 30 days could be loaded.</p>"
    print sections[i] "</section>"
  }
  print "</body></html>"
}
AWK
mv -f "$WORK/$OUT" "$OUT" || exit 1
