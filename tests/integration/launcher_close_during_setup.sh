#!/usr/bin/env bash
# Closing the window while the setup program runs does not stop the install:
# the launcher stays, without a window, until the setup program ends, then
# confirms the game, writes the record and exits 0 with no error box. A
# second start meanwhile finds it and ends without a window or an attempt;
# two starts waiting when it ends: one of them takes over at once. A start
# kept out of the name by its access list (an elevated instance) starts nothing.
# Usage: launcher_close_during_setup.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_close_during_setup
start_private_prefix
continue_event='VandroGLADE.Test.SetupContinue'
publish_test_release "\"waitEvent\": \"$continue_event\"" 2

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

# Two more starts wait while the first instance ends (the setup program
# finishes on our signal): the window must come at once, not at the earlier
# start's deadline, 5 s after its start.
waiting_start() { "$src/tools/wine-run" "$work" "$launcher_exe" >"$work/waiting-$1.out" 2>&1; }
waiting_start a & waiting_a=$!
waiting_start b & waiting_b=$!
sleep 0.5
check "the setup program is told to finish" win "$probe_exe" signal "$continue_event"
check "the launcher ends once the setup program has" wait_launcher 60
ended_at=${EPOCHREALTIME/./}
check "with exit code 0" [ "${launcher_rc:-}" = 0 ]
check "a waiting start opens the window" wait_for 30 window_count_is 1
shown_ms=$(( (${EPOCHREALTIME/./} - ended_at) / 1000 ))
check "within 2 s of the first instance's end (after $shown_ms ms)" [ "$shown_ms" -lt 2000 ]
check "the record is written" test -s "$cache/installed-package.json"
check "the game is in its folder" test -f "$game_folder/VandroGLADE.exe"
check "no failure was logged" [ ! -s "$cache/launcher.log" ]
check "no error box is left" [ "$(probe dialog | sed -n 's/^dialogs=//p')" = 0 ]

# The other start raises that window (or waits out its deadline) and ends.
one_ended() { ! kill -0 "$waiting_a" 2>/dev/null || ! kill -0 "$waiting_b" 2>/dev/null; }
check "the other waiting start ends" wait_for 30 one_ended
if kill -0 "$waiting_a" 2>/dev/null; then launcher_pid=$waiting_a other=$waiting_b; else launcher_pid=$waiting_b other=$waiting_a; fi
other_rc=0
wait "$other" || other_rc=$?
check "with exit code 0 (got $other_rc)" [ "$other_rc" = 0 ]
sleep 1
check "exactly one launcher runs afterwards" launcher_running
check "with its one window" window_count_is 1
locate_window
close_by_glyph

# An elevated instance's name, which a normal start may not open.
"$src/tools/wine-run" "$work" "$probe_exe" deny-name 40000 >"$work/deny.out" 2>&1 & holder=$!
check "the elevated stand-in holds the name" wait_for 30 grep -q deny=ready "$work/deny.out"
rc=0
timeout 30 "$src/tools/wine-run" "$work" "$launcher_exe" >/dev/null 2>&1 || rc=$?
check "a start kept out of the name exits with 0 (got $rc)" [ "$rc" = 0 ]
check "and leaves no window" window_count_is 0
kill "$holder" 2>/dev/null || true
finish
