#!/usr/bin/env bash
# The demo release's setup program keeps the contract the launcher relies on:
# the silent switches with a quoted /LOG path (spaces included), exit code 0,
# the game in the registered folder, the uninstall registration, a refusal
# with a non-zero code while the game runs, and an uninstaller that removes
# it all again. Runs in a copy of the test prefix, so the shared prefix's
# registry never sees the demo game.
# Usage: demo_setup.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/err_trap.bash"
build=$(cd "$1" && pwd)
setup="$build/demo/VandroGLADE-setup.exe"
game="$build/demo/demo_game.exe"
if [ ! -f "$setup" ]; then
  echo "demo_setup: $setup was not built although this build makes the demo" >&2
  exit 1
fi

work="$build/demo-setup-test"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
DISPLAY=$(cat "$build/display")
export DISPLAY
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work/log folder"
cp -a "$build/wineprefix" "$WINEPREFIX"
rm -rf "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/VandroGLADE"
wineserver -p   # one server for the copy, so each program starts at once

failures=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\{760E310F-703C-4B00-A3E5-462369FCA788}_is1'
reg_value() { { wine reg query "$key" /v "$1" 2>/dev/null || true; } | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
# Start from no installed game, whatever other tests left in the shared prefix.
wine reg delete "$key" /f > /dev/null 2>&1 || true
check "no game is registered before the install" [ -z "$(reg_value InstallLocation)" ]
log_win="Z:$(echo "$work/log folder/install.log" | tr / '\\')"
run_setup() {  # exe, extra args...; prints the exit code (read by Wine, full 8 bits suffice: 0, 1, 2, 4)
  local rc=0
  wine "$@" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART "/LOG=$log_win" || rc=$?
  echo "$rc"
}

# 1. First install.
rc=$(run_setup "$setup")
check "setup exits 0" [ "$rc" = 0 ]
check "the log lands at the quoted path with a space" grep -q "Exit code 0" "$work/log folder/install.log"
location=$(reg_value InstallLocation)
check "InstallLocation is registered" [ -n "$location" ]
folder=$(winepath -u "$location" 2>/dev/null | tr -d '\r')
check "VandroGLADE.exe in InstallLocation is the demo game" cmp -s "$folder/VandroGLADE.exe" "$game"
check "DisplayVersion is 1.1.1" [ "$(reg_value DisplayVersion)" = "1.1.1" ]
check "DisplayName is set" [ "$(reg_value DisplayName)" = "VandroGLADE" ]
uninstall=$(reg_value UninstallString)
check "UninstallString runs the installed uninstaller" [ "$uninstall" = "\"${location}uninstall.exe\" /UNINSTALL" ]
no_temporary_files() { ! compgen -G "$folder/*.new" > /dev/null; }
check "no temporary file is left" no_temporary_files

# 2. Installing over a running game fails with a non-zero code and keeps the game.
wine "$folder/VandroGLADE.exe" &
game_pid=$!
game_window() { xdotool search --onlyvisible --name '^VandroGLADE$' > /dev/null 2>&1; }
for _ in $(seq 50); do game_window && break; sleep 0.2; done
check "the installed game opens its window" game_window
rc=$(run_setup "$setup")
check "setup refuses while the game runs (exit 4)" [ "$rc" = 4 ]
check "the refusal is logged" grep -q "Failed: Cannot replace" "$work/log folder/install.log"
rc=$(run_setup "$folder/uninstall.exe" /UNINSTALL)
check "uninstall refuses while the game runs (exit 4)" [ "$rc" = 4 ]
check "the registration survives a refused uninstall" [ -n "$(reg_value InstallLocation)" ]
check "the running game's file is untouched" cmp -s "$folder/VandroGLADE.exe" "$game"
kill "$game_pid" 2>/dev/null || true
wait "$game_pid" 2>/dev/null || true

# 3. A second install over the first succeeds.
rc=$(run_setup "$setup")
check "a repeated install exits 0" [ "$rc" = 0 ]

# 4. The uninstaller without its payload is no installer.
rc=$(run_setup "$build/demo/VandroGLADE-uninstall.exe")
check "the bare uninstaller refuses to install (exit 4)" [ "$rc" = 4 ]

# 5. Uninstall through the registered command removes everything.
rc=$(run_setup "$folder/uninstall.exe" /UNINSTALL)
check "uninstall exits 0" [ "$rc" = 0 ]
check "the registration is gone" [ -z "$(reg_value InstallLocation)" ]
check "the game is gone" [ ! -e "$folder/VandroGLADE.exe" ]
for _ in $(seq 50); do [ -e "$folder" ] || break; sleep 0.2; done
check "the folder is gone once the uninstaller has ended" [ ! -e "$folder" ]

[ "$failures" = 0 ] || { echo "demo_setup: $failures check(s) failed"; exit 1; }
echo "demo_setup: all checks passed"
