# Sourced by the end-to-end scripts: starts Xvfb on a display number it picks
# itself (a number of ours could be taken by another run, whose server would
# then answer for ours and vanish under us) and waits until it takes clients.
# Sets `xvfb` (its process) and exports DISPLAY; returns 1 when it never came up.
start_virtual_display() { # work-folder
  local numbers="$1/display-number"
  : >"$numbers"
  Xvfb -displayfd 5 -screen 0 640x800x24 -nolisten tcp 5>"$numbers" >"$1/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [[ -s "$numbers" ]] && break; sleep 0.1; done
  [[ -s "$numbers" ]] || { cat "$1/xvfb.log" >&2; return 1; }
  export DISPLAY=":$(head -1 "$numbers")"
}
