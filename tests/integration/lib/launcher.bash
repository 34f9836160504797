. "${BASH_SOURCE[0]%/*}/err_trap.bash"
# Shared steps of the launcher's whole-program tests (sourced, not run):
# a private copy of the test prefix with a wineserver of its own, the real
# launcher started in it on the build's virtual display, clicks and keys at
# canvas points, screenshots, and named checks.
#
#   . "$src/tests/integration/lib/launcher.bash" BUILD_DIR SRC_DIR TEST_NAME
#
# The copy keeps the shared prefix's registry and folders out of reach: the
# install tests register a game there, and nothing of it outlives the test.
# A run that fails (a check, an error, its deadline) prints an "evidence:"
# block and keeps what it saw in BUILD/artifacts/TEST_NAME/RUN/.

build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
test_name=$3
work="$build/integration/$test_name"
shots="$work/screenshots"
wine_errors="$work/wine-stderr.log"  # what the Windows programs of the test said on stderr
launcher_exe="$build/vandroglade-launcher.exe"
probe_exe="$build/fixtures/window_probe.exe"
msaa_exe="$build/fixtures/msaa_client.exe"
port="${VANDRO_TEST_PORT:-$(sed -n 's/^VANDRO_DOWNLOAD_PORT:[A-Z]*=//p' "$build/CMakeCache.txt")}"
host_root="$build/host-root"
DISPLAY=$(cat "$build/display")
export DISPLAY
window_title='VandroGLADE — İndir ve Oyna'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\{760E310F-703C-4B00-A3E5-462369FCA788}_is1'

failures=0
launcher_pid=""
# Each start writes its own output file, kept beside the earlier ones; the
# evidence reads the latest.
launcher_starts=0
launcher_out="$work/launcher-0.out"
published_parts=""
cache=""
test_requests_mark=$( (cat "$host_root/.requests.log" 2>/dev/null || true) | wc -l)
requests_mark=$test_requests_mark

# Debian 12's ctest ends a test past its TIMEOUT with SIGKILL, which no trap
# sees; so the test sends itself SIGTERM VANDRO_TEST_DEADLINE seconds in (set
# by tests/CMakeLists.txt, 30 s short of the TIMEOUT) and still reports. A
# command that does not end holds the trap back: after 5 s its children go too.
deadline_watch=""
if [ -n "${VANDRO_TEST_DEADLINE:-}" ]; then
  (
    trap 'kill "$nap" 2>/dev/null; exit 0' TERM
    sleep "$VANDRO_TEST_DEADLINE" & nap=$!
    wait "$nap"
    kill -TERM $$ 2>/dev/null || exit 0
    sleep 5
    if kill -0 $$ 2>/dev/null; then pkill -TERM -P $$; fi
  ) </dev/null >/dev/null 2>&1 &
  deadline_watch=$!
fi
deadline_reached() {  # command; a signal's trap knows the calls, not the line
  local i at=""
  for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do at+=" ${FUNCNAME[i]} (called at ${BASH_SOURCE[i + 1]##*/}:${BASH_LINENO[i]})"; done
  echo "DEADLINE: SIGTERM after $SECONDS s (deadline ${VANDRO_TEST_DEADLINE:-none} s), at '$1' in${at:- main}" >&2
  exit 124
}
trap 'deadline_reached "$BASH_COMMAND"' TERM
trap on_exit EXIT

check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok:   $what"; return; fi
  echo "FAIL: $what"
  failures=$((failures + 1))
  if [ "$failures" = 1 ]; then describe_launcher; fi
}

# What the launcher was doing at the first failed check: a run that fails
# once in many cannot be asked again.
describe_launcher() {
  [ -n "$launcher_pid" ] || return 0
  if kill -0 "$launcher_pid" 2>/dev/null; then echo "  the launcher is running"; else echo "  the launcher has ended"; fi
  if [ -s "$launcher_out" ]; then
    echo "  its output (${launcher_out##*/}):"
    tail -n 20 "$launcher_out" | sed 's/^/    /'
  fi
}

wait_for() {  # seconds, then a command; true once the command succeeds
  local seconds=$1; shift
  local i
  for i in $(seq $((seconds * 5))); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

between() { [ "$1" -gt "$2" ] && [ "$1" -lt "$3" ]; }  # value low high, bounds excluded

finish() {  # the verdict, after every check of the script
  if [ "$failures" = 0 ]; then echo "$test_name: all checks passed"; exit 0; fi
  echo "$test_name: $failures check(s) failed"; exit 1
}

# ---- the private prefix ------------------------------------------------------

# A Windows program in the private prefix; what it says on stderr goes to
# $wine_errors under a line naming it (with its exit status when not 0).
win() {
  local err="$work/stderr.$BASHPID" rc=0
  "$src/tools/wine-run" "$work" "$@" 2>"$err" || rc=$?
  if [ -s "$err" ] || [ "$rc" != 0 ]; then
    { echo "-- $(date +%T.%N | cut -c1-12) ${1##*/} ${*:2} (exit $rc)"; cat "$err"; } >>"$wine_errors"
  fi
  rm -f "$err"
  return "$rc"
}

# Linux processes of this prefix whose command line matches.
prefix_processes() {  # pattern
  local p
  for p in $(pgrep -f "$1" 2>/dev/null); do
    if { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$work/wineprefix"; then echo "$p"; fi
  done
}

# What a failed run saw, printed before anything is stopped.
print_evidence() {  # status
  local pids n
  echo "evidence: the test ends in a failed state (status $1)"
  pids=$(prefix_processes 'wineserver|\.exe' | paste -sd, -)
  echo "  still running in the prefix (pid, seconds, command):"
  if [ -n "$pids" ]; then { ps -o pid=,etimes=,args= -p "$pids" || true; } | sed 's/^/    /'; else echo "    nothing"; fi
  echo "  the launcher's output (${launcher_out##*/}, start $launcher_starts), last 20 lines:"
  tail -n 20 "$launcher_out" 2>/dev/null | sed 's/^/    /' || true
  n=$(requests_since "$test_requests_mark" | wc -l)
  echo "  the host's requests since the test began ($n; the last 30):"
  requests_since "$test_requests_mark" | tail -n 30 | sed 's/^/    /'
}

# Keeps the evidence of a failed run in a folder of its own, never reused:
# everything of the work folder but the prefix's copy of Windows.
keep_evidence() {
  local kept
  kept="$build/artifacts/$test_name/$(date -u +%Y%m%d-%H%M%S)-$$"
  mkdir -p "$kept"
  cp -a "$work"/launcher-*.out "$wine_errors" "$shots" "$kept/" 2>/dev/null || true
  requests_since "$test_requests_mark" >"$kept/requests.log"
  if [ -n "$cache" ] && [ -d "$cache" ]; then cp -a "$cache" "$kept/cache" || true; fi
  cp -a "$work/wineprefix"/*.reg "$kept/" 2>/dev/null || true
  echo "evidence: kept in $kept"
}

# On the way out. The evidence is called where a failing command cannot cut
# the clean-up short (that would leave the prefix's processes running).
on_exit() {
  local status=$?
  if [ -n "$deadline_watch" ]; then kill "$deadline_watch" 2>/dev/null || true; fi
  if [ "$status" != 0 ]; then print_evidence "$status" || true; fi
  if [ -n "$launcher_pid" ]; then kill "$launcher_pid" 2>/dev/null || true; fi
  "$src/tools/wine-prefix" "$work" --stop >/dev/null 2>&1 || true
  if [ "$status" != 0 ]; then keep_evidence || true; fi
  rm -f "$host_root/vandroglade/windows/latest.json" "$host_root/vandroglade/windows/.rules.json"
  if [ -n "$published_parts" ]; then rm -rf "$published_parts"; fi
  rm -rf "$work"
}

start_private_prefix() {
  rm -rf "$work"
  mkdir -p "$work" "$shots"
  cp -a "$build/wineprefix" "$work/wineprefix"
  ln -s "$build/pki" "$work/pki"
  # tools/wine-prefix holds a prefix's desktop with the window probe it finds
  # there: without it the copy's desktop ends after each launcher, and the
  # next one may get no display.
  ln -s "$build/fixtures" "$work/fixtures"
  cp "$build/display" "$work/display"
  appdata="$work/wineprefix/drive_c/users/$(id -un)/AppData/Local"
  cache="$appdata/Vandro/Launcher/Cache"
  game_folder="$appdata/Programs/VandroGLADE Test"
  rm -rf "$appdata/Vandro" "$game_folder"
  "$src/tools/wine-prefix" "$work" >/dev/null
  win reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
  # Keyboard cues off, as Windows has them by default (Wine has them on):
  # the player seen here is a mouse user until a test presses Tab.
  win reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask /t REG_BINARY /d 1000028012000000 /f >/dev/null
}

# ---- the launcher and its window ---------------------------------------------

start_launcher() {  # starts the launcher in the background; launcher_pid
  # With Wine's error channel on, the output a failed check prints says why a
  # start that fails once in many runs ended (a window that could not be made).
  launcher_starts=$((launcher_starts + 1))
  launcher_out="$work/launcher-$launcher_starts.out"
  WINEDEBUG=err+all,fixme-all "$src/tools/wine-run" "$work" "$launcher_exe" >"$launcher_out" 2>&1 &
  launcher_pid=$!
}

# Starts the launcher and waits for its window; wx, wy. LABEL prefixes the check.
open_launcher() {  # [label]
  start_launcher
  check "${1:-}the window appears" wait_for 30 window_count_is 1
  locate_window
  sleep 1
}

# Clicks "İndir ve Kur" and moves the pointer off the button, so that its
# colour shows the state.
press_install() { click_canvas 788 433; hover_canvas 400 300; }

# The verified setup program lies in the cache and the part file is gone.
setup_running() { compgen -G "$cache/VandroGLADE-*.exe" >/dev/null && ! compgen -G "$cache/*.part" >/dev/null; }

# Waits up to SECONDS for the launcher to end; true if it did, with its exit
# code in launcher_rc (Wine passes the low 8 bits on).
wait_launcher() {
  local seconds=$1
  wait_for "$seconds" bash -c "! kill -0 $launcher_pid 2>/dev/null" || return 1
  launcher_rc=0
  wait "$launcher_pid" || launcher_rc=$?
  launcher_pid=""
}

launcher_running() { [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; }

# A read outside a wait (a probe, a screen capture) that fails is tried again
# for up to 2 s, one "retried:" line (stderr) each time, but not once the
# launcher has ended. Prints the output of the last try.
read_retried() {  # command...
  local out rc end=$((${EPOCHREALTIME/./} + 2000000))
  for (( ; ; )); do
    rc=0
    out=$("$@") || rc=$?
    if [ "$rc" = 0 ]; then break; fi
    if ! launcher_running; then
      echo "not retried, the launcher has ended: ${*##*/} exited $rc, in ${FUNCNAME[*]:1}" >&2
      break
    fi
    [ "${EPOCHREALTIME/./}" -lt "$end" ] || break
    echo "retried: ${*##*/} exited $rc, in ${FUNCNAME[*]:1}" >&2
    sleep 0.2
  done
  [ -z "$out" ] || printf '%s\n' "$out"
  return "$rc"
}

probe() { read_retried win "$probe_exe" "$@" | tr -d '\r'; }
probe_value() { probe | sed -n "s/^$1=//p"; }
window_count_is() { [ "$(probe_value count)" = "$1" ]; }
# The screen reader's stand-in (tests/fixtures/msaa_client.cpp); its checks
# print as they go, and it fails when one of them does.
msaa() { win "$msaa_exe" "$@" | tr -d '\r'; }
# Runs KEY on the launcher while the stand-in listens; true once it has
# heard EVENT_OBJECT_FOCUS on BUTTON.
focus_event_on_key() {  # BUTTON KEY
  local ready="$work/focus-listening" pid
  rm -f "$ready"
  msaa focus-event "$1" "Z:$(echo "$ready" | tr / '\\')" &
  pid=$!
  wait_for 20 test -e "$ready" || true
  key_to_launcher "$2"
  wait "$pid"
}

# Screen position of the window's top left, read once it is shown: wx, wy.
# Fails (also where a caller tests it) when the probe fails or finds no window.
locate_window() {
  local rect
  rect=$(probe_value rect) || return
  [ -n "$rect" ] || { echo "locate_window: the probe finds no launcher window" >&2; return 1; }
  wx=${rect%%,*}
  rect=${rect#*,}
  wy=${rect%%,*}
}

# Input is never tried twice (a click may have landed): a failed one ends
# the test as a failed check named after the step.
send_input() {  # step, then xdotool's arguments
  local step=$1 rc=0
  shift
  xdotool "$@" || rc=$?
  [ "$rc" = 0 ] && return 0
  check "$step, in ${FUNCNAME[*]:2} (xdotool exited $rc)" false
  finish
}

# The canvas is 1000 x 650 in a window of that size: canvas units are pixels.
click_canvas() { send_input "click at canvas ($1, $2)" mousemove $((wx + $1)) $((wy + $2)) click 1; }
hover_canvas() { send_input "pointer to canvas ($1, $2)" mousemove $((wx + $1)) $((wy + $2)); }
# Keys go to the focused window: a click on a bare part of the canvas focuses it.
key_to_launcher() { click_canvas 400 360; sleep 0.3; send_input "key $1" key "$1"; }

screenshot() {  # name: $shots/NAME.png
  read_retried import -window root "$shots/$1.png"
}

# The screen as it is now, or the picture named by $capture when a test reads
# several things off one moment (the Installing screen passes quickly).
capture_screen() {  # target file
  if [ -n "${capture:-}" ]; then cp "$capture" "$1"; else read_retried import -window root "$1"; fi
}

# Colour (RRGGBB) of a canvas point on a fresh capture of the screen.
canvas_colour() {
  capture_screen "$work/probe.png"
  convert "$work/probe.png" -format '%[hex:p{'$((wx + $1))','$((wy + $2))'}]' info: | cut -c1-6 | tr a-f A-F
}

near() {  # RRGGBB RRGGBB: every channel within 3
  local a=$1 b=$2 i d
  for i in 0 2 4; do
    d=$(( 16#${a:i:2} - 16#${b:i:2} ))
    [ "${d#-}" -le 3 ] || return 1
  done
}

colour_at_is() { near "$(canvas_colour "$1" "$2")" "$3"; }

# How many pixels of a canvas rectangle (x, y, w, h) are like a colour
# (every channel within 24) or, with "unlike", differ from it.
count_pixels() {  # x y w h RRGGBB [unlike]
  capture_screen "$work/count.png"
  python3 - "$work/count.png" $((wx + $1)) $((wy + $2)) "$3" "$4" "$5" "${6:-like}" <<'EOF'
import subprocess, sys
path, x, y, w, h, colour, mode = sys.argv[1], *map(int, sys.argv[2:6]), *sys.argv[6:8]
raw = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "-depth", "8", "rgb:-"],
                     capture_output=True, check=True).stdout
ref = [int(colour[i:i + 2], 16) for i in (0, 2, 4)]
like = sum(1 for i in range(0, len(raw), 3) if max(abs(raw[i + k] - ref[k]) for k in range(3)) <= 24)
print(like if mode == "like" else len(raw) // 3 - like)
EOF
}
ink_in() { count_pixels "$@" unlike; }

# Canvas units of the progress track's middle line that carry the fill.
filled_units() { count_pixels 656 353 264 1 "$fill_colour"; }
filled_units_near() { local n; n=$(filled_units); [ "$n" -ge $(($1 - 4)) ] && [ "$n" -le $(($1 + 4)) ]; }

# Canvas points and colours of the screen.
button_probe=(665 433)
button_normal=FFD14D
button_hover=FFE174
button_busy=E6E4D5
card_colour=FFFCF2
fill_colour=20B5CF
link_rect=(656 466 264 23)
counter_rect=(656 363 264 24)

close_by_glyph() {
  click_canvas 957 29
  check "the close glyph ends the launcher" wait_launcher 20
  check "with exit code 0 (got ${launcher_rc:-none})" [ "${launcher_rc:-}" = 0 ]
}

log_has_404() { { tr -d '\r' <"$cache/launcher.log"; } 2>/dev/null | grep -qx "HTTP 404"; }

button_is_normal() { colour_at_is "${button_probe[@]}" "$button_normal"; }

# The keyboard's focus ring: ink on the bare card in the two canvas rows just
# above the main button, or just inside the link's top edge.
ring_above_button() { ink_in 670 402 230 2 "$card_colour"; }
ring_on_link() { ink_in 670 467 230 2 "$card_colour"; }
no_focus_ring() { [ "$(ring_above_button)" = 0 ] && [ "$(ring_on_link)" = 0 ]; }
ring_on_link_only() { [ "$(ring_on_link)" -gt 200 ] && [ "$(ring_above_button)" = 0 ]; }
ring_on_button_only() { [ "$(ring_above_button)" -gt 200 ] && [ "$(ring_on_link)" = 0 ]; }
# With the focus on the button and keyboard cues off, the ring follows the UI
# state the system keeps for the window: none while it hides focus cues (on
# Windows, a window opened and used with the mouse), else on the button
# (Wine keeps no UI state: it never hides them).
ring_as_ui_state_says() {
  local state
  state=$(probe_value uistate)
  echo "the window's UI state: ${state:-no answer}"
  [ -n "$state" ] || return 1
  if (( state & 1 )); then no_focus_ring; else ring_on_button_only; fi
}

# The screen after a successful install: "Oyna" ready, the full bar, no link.
check_installed_screen() {
  check "installed: the record is written" wait_for 60 test -s "$cache/installed-package.json"
  check "installed: the button is ready again" wait_for 10 button_is_normal
  sleep 0.5
  screenshot installed-ready
  check "installed: the full bar stays" filled_units_near 264
  check "installed: no link beside \"Oyna\"" [ "$(ink_in "${link_rect[@]}" "$card_colour")" = 0 ]
  check "installed: the game is in its folder" test -f "$game_folder/VandroGLADE.exe"
}

# ---- releases on the test host -----------------------------------------------

# Publishes the test setup program with a scenario (JSON members, e.g.
# '"delayMs": 3000') as the release the launcher's fixed manifest address names.
# PADDING bytes after the program make a larger package (the program skips them).
publish_test_release() {
  local members=${1:-} parts=${2:-3} padding=${3:-0}
  local setup="$work/setup.exe" game_win
  game_win="Z:$(echo "$build/fixtures/test_game.exe" | tr / '\\')"
  python3 - "$build/fixtures/test_setup.exe" "$setup" "$game_win" "$members" "$padding" <<'EOF'
import json, sys
source, target, game, members, padding = sys.argv[1:6]
scenario = json.loads("{" + members + "}")
scenario.setdefault("gameSource", game)
with open(source, "rb") as f:
    data = f.read()
with open(target, "wb") as f:
    f.write(data + bytes(int(padding)) + b"\n--vandro-test-scenario--\n" + json.dumps(scenario).encode("utf-8"))
EOF
  release_digest=$(sha256sum "$setup" | cut -c1-16)
  published_parts="$host_root/vandroglade/windows/$release_digest"
  python3 "$src/tools/publish-release" --setup "$setup" --version 1.1.1 --parts "$parts" \
    --host localhost --port "$port" --out "$host_root" >/dev/null
}

# Makes the host pause inside one part of the published release.
pause_part() {  # part file name, bytes before the pause, seconds of pause
  printf '{"/vandroglade/windows/%s/%s": {"pause_after": %d, "pause_seconds": %s}}\n' \
    "$release_digest" "$1" "$2" "$3" >"$published_parts/.rules.json"
}
# Requests the host logged since the test began (the log is the whole run's).
requests_since_start() { requests_since "$requests_mark"; }
requests_since() { tail -n "+$(($1 + 1))" "$host_root/.requests.log" 2>/dev/null || true; }
requested() { requests_since_start | grep -q "^$1"; }
part_requested() { requested "/vandroglade/windows/$release_digest/$1"; }

# Registers the test game as installed in the given version (as its setup would).
install_game_by_hand() {  # version
  mkdir -p "$game_folder"
  cp "$build/fixtures/test_game.exe" "$game_folder/VandroGLADE.exe"
  win reg add "$uninstall_key" /v InstallLocation /t REG_SZ /d "$(game_folder_win)" /f >/dev/null
  win reg add "$uninstall_key" /v DisplayVersion /t REG_SZ /d "$1" /f >/dev/null
}

game_folder_win() { echo "C:\\users\\$(id -un)\\AppData\\Local\\Programs\\VandroGLADE Test"; }

# The test game writes how it was started into its own folder.
game_started_from_its_folder() {
  tr -d '\r' <"$game_folder/test-game-start.txt" 2>/dev/null | grep -qxF "cwd=$(game_folder_win)"
}
