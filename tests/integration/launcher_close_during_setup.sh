#!/usr/bin/env bash
# Closing the window while the setup program runs does not stop the install:
# the launcher stays, without a window, until the setup program ends, then
# confirms the game, writes the record and exits 0 with no error box. A
# second start meanwhile finds it and ends without a window or an attempt.
# Usage: launcher_close_during_setup.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_close_during_setup
start_private_prefix
publish_test_release '"delayMs": 20000' 2

open_launcher
press_install
check "the verified setup program runs" wait_for 30 setup_running
sleep 1
click_canvas 957 29
check "the window goes at once" wait_for 5 window_count_is 0
sleep 2
check "the launcher stays while the setup program runs" launcher_running

manifest_requests() { requests_since_start | grep -c '^/vandroglade/windows/latest.json' || true; }
before=$(manifest_requests)
rc=0
timeout 60 "$src/tools/wine-run" "$work" "$launcher_exe" >/dev/null 2>&1 || rc=$?
check "a second start meanwhile exits with 0" [ "$rc" = 0 ]
check "and shows no window" window_count_is 0
check "and starts no attempt of its own" [ "$(manifest_requests)" = "$before" ]

check "the launcher ends once the setup program has" wait_launcher 60
check "with exit code 0" [ "${launcher_rc:-}" = 0 ]
check "the record is written" test -s "$cache/installed-package.json"
check "the game is in its folder" test -f "$game_folder/VandroGLADE.exe"
check "no failure was logged" [ ! -s "$cache/launcher.log" ]
check "no error box is left" [ "$(probe dialog | sed -n 's/^dialogs=//p')" = 0 ]
finish
