#!/usr/bin/env bash
# Web registration end to end: kdisk-service on free ports, the login screen
# in a GTK window with the real web engine on a private virtual X display.
# xdotool presses "register"; the program fills kdisk-service's registration
# form by script in the page and submits it; the service's redirect to
# "kalumodisk:" must end sign-in: the token lands in the settings store, works
# against the service, and nothing is loaded or handed on for that URL.
# Waiting is on the program's own report, polled with a deadline, since a
# real display has no virtual clock. Exit 77 (skipped) only where the machine
# cannot run the web engine at all.
set -euo pipefail
program="$1"
service="$2"
work="$(mktemp -d)"
cleanup() {
  [[ -n "${app:-}" ]] && kill "$app" 2>/dev/null || true
  [[ -n "${server:-}" ]] && kill "$server" 2>/dev/null || true
  [[ -n "${xvfb:-}" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

skip() { echo "SKIPPED: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed, so there is no display for the web engine"
command -v xdotool >/dev/null || skip "xdotool is not installed"
for helper in WebKitWebProcess WebKitNetworkProcess; do
  ls /usr/lib/*/webkitgtk-6.0/"$helper" >/dev/null 2>&1 ||
    skip "WebKitGTK 6.0's $helper is missing (libwebkitgtk-6.0-4 not installed)"
done
# The web engine runs its page processes in a bubblewrap sandbox; a machine
# without user namespaces (a locked-down container) cannot make one, and the
# local test pages are ours, so there the sandbox is switched off.
if ! bwrap --ro-bind / / --dev /dev --proc /proc true 2>/dev/null; then
  echo "note: no bubblewrap sandbox on this machine; running the web engine without it"
  export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
fi

wait_for_file_line() { # file pattern seconds
  for _ in $(seq $(( $3 * 10 ))); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

"$service" --data "$work/service" --port 0 --https-port 0 --ready-file "$work/ready" >"$work/service.log" 2>&1 &
server=$!
wait_for_file_line "$work/ready" '^ca=' 20 || { cat "$work/service.log" >&2; exit 1; }
https="$(sed -n 's/^https=//p' "$work/ready")"
ca="$(sed -n 's/^ca=//p' "$work/ready")"

source "$(dirname "${BASH_SOURCE[0]}")/virtual_display.sh"
start_virtual_display "$work" || { echo "FAILED: Xvfb did not start" >&2; exit 1; }
export GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 LIBGL_ALWAYS_SOFTWARE=1
export WEBKIT_DISABLE_DMABUF_RENDERER=1 WEBKIT_DISABLE_COMPOSITING_MODE=1

export KDISK_HOME="$work/home" KDISK_ENVIRONMENT=Local KDISK_SERVICE_URL="$https" KDISK_EXTRA_CA_FILE="$ca"
"$program" --report "$work/report" --register "erin:erin-password" >"$work/stdout" 2>"$work/stderr" &
app=$!

wait_for() {
  wait_for_file_line "$work/report" "$1" "${2:-20}" && return 0
  echo "did not see '$1'; report so far:" >&2
  cat "$work/report" >&2 2>/dev/null || true
  tail -40 "$work/stderr" >&2
  return 1
}

wait_for '^ready$'
window="$(xdotool search --sync --name 'Kalumo sign-in' | head -1)"
# The register button: the screen starts under the 20-point status bar and the
# button sits 70 points above the bottom of the 480-point window.
xdotool mousemove --window "$window" 160 430 click 1
if ! wait_for_file_line "$work/report" '^page ' 60; then
  if grep -q "web process" "$work/stderr"; then
    tail -20 "$work/stderr" >&2
    skip "the web engine's page process could not start on this machine"
  fi
  wait_for '^page ' 1
fi
wait_for '^page Create a Kalumo account$'
# The browser's own title follows the page once its load has ended.
wait_for '^title Create a Kalumo account$'
wait_for '^token stored ' 30
token="$(sed -n 's/^token stored //p' "$work/report" | head -1)"
[[ -n "$token" ]] || { echo "an empty token was stored" >&2; exit 1; }
wait_for '^web at '

userinfo="$(curl -s --cacert "$ca" -H "Authorization: OAuth $token" "$https/?userinfo")"
[[ "$userinfo" == *"login:erin"* ]] || { echo "the stored token is not erin's: $userinfo" >&2; exit 1; }
if grep -q '^web at kalumodisk' "$work/report"; then
  echo "the kalumodisk: URL was loaded in the web view: $(tr "\n" ";" <"$work/report")" >&2; exit 1
fi
if grep -q '^handed to desktop' "$work/report"; then
  echo "a URL was handed to the desktop: $(grep '^handed to desktop' "$work/report")" >&2; exit 1
fi
if [[ "$(grep -c '^token stored' "$work/report")" != 1 ]]; then
  echo "sign-in was announced more than once" >&2; exit 1
fi
echo "end-to-end: $(tr '\n' ';' <"$work/report")"
