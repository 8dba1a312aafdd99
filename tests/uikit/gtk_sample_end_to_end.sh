#!/usr/bin/env bash
# Runs the toolkit's sample program on a private virtual X display, scrolls,
# clicks and types into it with xdotool, and checks what the program reports
# it did.
# Waiting is on the program's own report, polled with a deadline, since a
# real display has no virtual clock.
set -euo pipefail
sample="$1"
work="$(mktemp -d)"
display=":$(( 90 + RANDOM % 400 ))"
cleanup() {
  [[ -n "${app:-}" ]] && kill "$app" 2>/dev/null || true
  [[ -n "${xvfb:-}" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 640x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY="$display" GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$sample" --report "$work/report" >"$work/stdout" 2>"$work/stderr" &
app=$!

wait_for() {
  for _ in $(seq 150); do
    grep -qx "$1" "$work/report" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "did not see '$1'; report so far:" >&2
  cat "$work/report" >&2 2>/dev/null || true
  cat "$work/stderr" >&2
  return 1
}

wait_for ready
window="$(xdotool search --sync --name 'Kalumo toolkit sample' | head -1)"
# Status bar 20 + navigation bar 44, rows of 44: the third row's middle is at 174.
# Three wheel notches down first: the row under the pointer is a later one.
xdotool mousemove --window "$window" 160 174 click --repeat 3 --delay 50 5
sleep 0.5
xdotool click 1
row=""
for _ in $(seq 150); do
  row="$(sed -n 's/^selected row \([0-9]*\)$/\1/p' "$work/report" 2>/dev/null | head -1)"
  [[ -n "$row" ]] && break
  sleep 0.1
done
if [[ -z "$row" || "$row" -le 3 ]]; then
  echo "the wheel did not scroll the list: selected row '${row}'" >&2
  cat "$work/report" >&2
  exit 1
fi
# The text field of the pushed screen: 64 + 30 + 15.
for _ in $(seq 20); do
  xdotool mousemove --window "$window" 160 109 click 1
  sleep 0.2
  xdotool type --delay 20 "hello"
  xdotool key Return
  grep -q "^row $row text" "$work/report" && break
done
wait_for "row $row text hello"
echo "end-to-end: $(tr '\n' ';' <"$work/report")"
