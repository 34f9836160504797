#!/usr/bin/env bash
# Closing the window while a part downloads slowly ends the launcher soon
# after: the transfer sees the cancel request at its next chunk, the attempt
# ends as cancelled ("Cancelled" in the launcher log) and nothing is installed.
# Usage: launcher_cancel.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_cancel
start_private_prefix
publish_test_release '' 2
pause_part part-000.bin 300000 6

start_launcher
check "the window appears" wait_for 30 window_count_is 1
locate_window
sleep 1

click_canvas 788 433
hover_canvas 400 300
check "the first part is on its way" wait_for 30 part_requested part-000.bin
sleep 1.5
screenshot slow-download
capture="$shots/slow-download.png"
check "downloading: the button shows busy" colour_at_is "${button_probe[@]}" "$button_busy"
check "downloading: the counter shows" [ "$(ink_in "${counter_rect[@]}" "$card_colour")" -gt 20 ]
capture=""

click_canvas 957 29
check "the window goes at once" wait_for 5 window_count_is 0
check "the launcher ends once the paused chunk arrives" wait_launcher 30
check "with exit code 0" [ "${launcher_rc:-}" = 0 ]
log_says_cancelled() { tr -d '\r' <"$cache/launcher.log" | grep -qx Cancelled; }
check "the launcher log says Cancelled" log_says_cancelled || cat "$cache/launcher.log"
part_not_requested() { ! part_requested "$1"; }
check "the second part was never asked for" part_not_requested part-001.bin
check "nothing was installed" [ ! -e "$game_folder/VandroGLADE.exe" ]
finish
