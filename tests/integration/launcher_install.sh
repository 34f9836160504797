#!/usr/bin/env bash
# A player's whole journey in the real launcher: first start, a click on
# "İndir ve Kur" that downloads the release from the test host (one part held
# back for a moment, so the bar can be seen), verifies it and runs the test
# setup program (which takes a few seconds, so the installing sweep can be
# seen), the "Oyna" screen, a click on "Oyna" that starts the game from its
# install folder, and a restart that finds the game ready.
# Usage: launcher_install.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_install
start_private_prefix
publish_test_release '"delayMs": 5000' 3
pause_part part-001.bin 500000 4

start_launcher
check "the window appears" wait_for 30 window_count_is 1
locate_window
sleep 1

click_canvas 788 433
hover_canvas 400 300  # off the button, so its colour shows the state
check "downloading: the second part is on its way" wait_for 30 part_requested part-001.bin
sleep 1.5
screenshot downloading
capture="$shots/downloading.png"
check "downloading: the button shows busy" colour_at_is "${button_probe[@]}" "$button_busy"
filled=$(filled_units)
check "downloading: the fill has grown but is not full ($filled units)" between "$filled" 60 200
check "downloading: the byte counter shows" [ "$(ink_in "${counter_rect[@]}" "$card_colour")" -gt 20 ]
capture=""

check "installing: the verified setup program runs" wait_for 30 setup_running
sleep 1.5
screenshot installing
capture="$shots/installing.png"  # both checks read that one moment
check "installing: the button shows busy" colour_at_is "${button_probe[@]}" "$button_busy"
check "installing: a 100-unit segment sweeps instead of the full bar" filled_units_near 100
capture=""

check_installed_screen

click_canvas 788 433
check "\"Oyna\" starts the game from its install folder" wait_for 20 game_started_from_its_folder
check "the launcher stays open" window_count_is 1

close_by_glyph

# A later start finds the current game and opens ready to play.
rm -f "$game_folder/test-game-start.txt"
start_launcher
check "the window appears again" wait_for 30 window_count_is 1
locate_window
sleep 1
screenshot ready-at-start
check "ready at start: the button is in its normal colour" button_is_normal
check "ready at start: no link" [ "$(ink_in "${link_rect[@]}" "$card_colour")" = 0 ]
check "ready at start: an empty track" [ "$(filled_units)" = 0 ]
check "ready at start: no byte counter" [ "$(ink_in "${counter_rect[@]}" "$card_colour")" = 0 ]
key_to_launcher Return
check "Enter on \"Oyna\" starts the game as well" wait_for 20 game_started_from_its_folder
close_by_glyph
finish
