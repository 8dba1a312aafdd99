#!/usr/bin/env bash
# kalumo-disk end to end, on a private virtual X display and session bus,
# against kdisk-service seeded with the demo account: sign in through the
# login form with typed input, leave the first-run pages, open a folder, then
# hand a file to a second kalumo-disk invocation, which passes it to the
# running one; pick a folder there and find the file on the service.
# Waiting polls a condition the service sees (its request log) with a
# deadline, since a real display has no virtual clock; a click that may have
# landed during a transition is repeated until its effect shows. A
# screenshot is kept. Exit 77 (skipped) only when the tools are missing.
set -euo pipefail
app="$1"
service="$2"
artefacts="$3"

skip() { echo "SKIPPED: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed (scripts/setup installs xvfb)"
command -v xdotool >/dev/null || skip "xdotool is not installed (scripts/setup installs it)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed (scripts/setup installs dbus)"
# One instance per session bus: a bus of our own, so a kalumo-disk the
# person runs is never the one that gets the file. It starts no services
# (portals, accessibility): the program needs none of them.
if [[ -z "${KDISK_APP_E2E_BUS:-}" ]]; then
  config="$(mktemp)"
  cat >"$config" <<'XML'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
XML
  KDISK_APP_E2E_BUS="$config" exec dbus-run-session --config-file="$config" -- "$0" "$@"
fi

work="$(mktemp -d)"
secret="app-e2e-$RANDOM$RANDOM"
cleanup() {
  [[ -n "${first:-}" ]] && kill "$first" 2>/dev/null || true
  [[ -n "${server:-}" ]] && kill "$server" 2>/dev/null || true
  [[ -n "${xvfb:-}" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work" "$KDISK_APP_E2E_BUS"
}
trap cleanup EXIT

mkdir -p "$artefacts"
screenshot() { # name
  local what=(-root)
  [[ -n "${window:-}" ]] && what=(-id "$window")
  if command -v xwdtopnm >/dev/null && command -v pnmtopng >/dev/null; then
    xwd "${what[@]}" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$artefacts/$1.png" && echo "screenshot: $artefacts/$1.png"
  else
    xwd "${what[@]}" -silent -out "$artefacts/$1.xwd" && echo "screenshot: $artefacts/$1.xwd (netpbm makes PNG files)"
  fi
}
fail() {
  echo "FAILED: $*" >&2
  screenshot end-to-end-failure || true
  echo "--- requests the service saw:" >&2
  requests >&2 || true
  echo "--- kalumo-disk:" >&2
  grep -v " debug " "$work/first.err" | tail -30 >&2 || true
  exit 1
}

"$service" --data "$work/service" --seed-demo --admin-secret "$secret" --port 0 --https-port 0 \
  --ready-file "$work/ready" >"$work/service.log" 2>&1 &
server=$!
for _ in $(seq 200); do grep -q '^ca=' "$work/ready" 2>/dev/null && break; sleep 0.1; done
grep -q '^ca=' "$work/ready" 2>/dev/null || { cat "$work/service.log" >&2; echo "the service did not start" >&2; exit 1; }
http="$(sed -n 's/^http=//p' "$work/ready")"
https="$(sed -n 's/^https=//p' "$work/ready")"
ca="$(sed -n 's/^ca=//p' "$work/ready")"

requests() { curl -s -H "X-Kdisk-Admin-Secret: $secret" "$http/admin/requests"; }
# How many requests of METHOD for exactly TARGET the service answered with STATUS.
served() { # method status target
  requests | grep -oF "\"method\":\"$1\",\"status\":$2,\"target\":\"$3\"" | wc -l
}
wait_until() { # seconds description command...
  local seconds="$1" what="$2"
  shift 2
  for _ in $(seq $(( seconds * 10 ))); do
    "$@" && return 0
    sleep 0.1
  done
  fail "no $what within $seconds s"
}
more_than() { [[ "$(served "$2" "$3" "$4")" -gt "$1" ]]; }
# Clicks at X Y until the condition holds, up to five times.
click_until() { # x y description command...
  local x="$1" y="$2" what="$3"
  shift 3
  for _ in 1 2 3 4 5; do
    xdotool mousemove --window "$window" "$x" "$y" click 1
    for _ in $(seq 30); do
      "$@" && return 0
      sleep 0.1
    done
  done
  fail "no $what after clicking at $x,$y"
}

source "$(dirname "${BASH_SOURCE[0]}")/virtual_display.sh"
start_virtual_display "$work" || { echo "FAILED: Xvfb did not start" >&2; exit 1; }
export GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 GTK_A11Y=none

export KDISK_HOME="$work/home" KDISK_ENVIRONMENT=Local KDISK_SERVICE_URL="$https" KDISK_EXTRA_CA_FILE="$ca"
export KDISK_LOGIN=demo
id="ru.kalumo.Disk.EndToEnd$$"
"$app" --gapplication-app-id="$id" >"$work/first.out" 2>"$work/first.err" &
first=$!

visible_window() { window="$(xdotool search --onlyvisible --name '^Kalumo\.Disk$' 2>/dev/null | head -1)"; [[ -n "$window" ]]; }
wait_until 20 "kalumo-disk window" visible_window
# The login form is up once the first listing was refused for want of a token.
wait_until 20 "first root listing" more_than 0 PROPFIND 401 /disk/
kill -0 "$first" 2>/dev/null || fail "kalumo-disk ended"

# The window is 320 × 480 points at the screen's corner (no window manager):
# the login is prefilled, the password field's middle is at 160,190.
xdotool mousemove --window "$window" 160 190 click 1
xdotool type --delay 40 demo
xdotool key Return
wait_until 20 "sign-in" more_than 0 POST 200 /token
# The account request follows the first-run pages' presentation.
wait_until 20 "account request" more_than 0 GET 200 /?userinfo

# Skip (266,457) on the first-run pages, then the first row, Documents.
opened_documents() { more_than 0 PROPFIND 207 /disk/Documents/; }
for _ in 1 2 3 4 5; do
  xdotool mousemove --window "$window" 266 457 click 1
  sleep 0.5
  xdotool mousemove --window "$window" 100 115 click 1
  for _ in $(seq 30); do opened_documents && break 2; sleep 0.1; done
done
opened_documents || fail "Documents was not opened"

# The second invocation hands the file over and ends.
handed="$work/Handed over.txt"
printf 'Handed over to a running kalumo-disk at %s\n' "$(date -u +%FT%TZ)" >"$handed"
roots="$(served PROPFIND 207 /disk/)"
timeout 20 "$app" --gapplication-app-id="$id" "$handed" >"$work/second.out" 2>"$work/second.err" ||
  fail "the second kalumo-disk did not hand the file over and end: $(tail -5 "$work/second.err")"
kill -0 "$first" 2>/dev/null || fail "the first kalumo-disk ended"
[[ "$(xdotool search --onlyvisible --name '^Kalumo\.Disk$' | wc -l)" == 1 ]] || fail "a second window opened"
# The folder picker lists the root afresh.
wait_until 20 "folder picker" more_than "$roots" PROPFIND 207 /disk/
# Images is its second row (middle at 100,200); Done sits at the bottom right.
click_until 100 200 "Images in the picker" more_than 0 PROPFIND 207 /disk/Images/
arrived() {
  local stored
  stored="$(find "$work/service" -path '*/Images/Handed over.txt' 2>/dev/null | head -1)"
  [[ -n "$stored" ]] && cmp -s "$handed" "$stored"
}
click_until 287 457 "upload of the handed-over file" arrived
[[ "$(served PUT 201 '/disk/Images/Handed%20over.txt')" == 1 ]] || fail "the file was not sent once"

# The picker slides away after the upload starts: the picture is taken once
# two grabs in a row agree, so it shows the screen a person is left with.
settled() {
  local what=(-root) previous="" current
  [[ -n "${window:-}" ]] && what=(-id "$window")
  for _ in $(seq 30); do
    current="$(xwd "${what[@]}" -silent | md5sum)"
    [[ "$current" == "$previous" ]] && return 0
    previous="$current"
    sleep 0.1
  done
}
settled
screenshot end-to-end
echo "end-to-end: signed in, opened Documents, the file handed to a second invocation is in Images"
