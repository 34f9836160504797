#!/usr/bin/env bash
# An installed game older than 1.1.1: the launcher opens offering the new
# release with the link "Kurulu oyunu aç" beneath the button; an attempt that
# fails (no release on the host) leaves "Tekrar Dene" and the link, and a
# reader hears the client reorder as the link goes and comes back; the link
# starts the installed game from its folder, whether clicked, invoked by a
# screen reader (MSAA, from another process) or reached with Tab and Enter.
# Usage: launcher_old_game.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_old_game
start_private_prefix
install_game_by_hand 1.0.9
rm -f "$host_root/vandroglade/windows/latest.json"  # the attempt must fail

start_launcher
check "the window appears" wait_for 30 window_count_is 1
locate_window
sleep 1
screenshot old-version-found
check "old version: the button offers the download" button_is_normal
check "old version: the link is shown" between "$(ink_in "${link_rect[@]}" "$card_colour")" 30 100000
check "old version: a reader finds the button and the link" msaa screen old-game

# A reader listens while the attempt hides the link and the failure brings it back.
reorder_ready="$work/reorder-listening"
rm -f "$reorder_ready"
msaa reorder "Z:$(echo "$reorder_ready" | tr / '\\')" &
reorder_pid=$!
wait_for 20 test -e "$reorder_ready" || true
click_canvas 788 433
hover_canvas 400 300
check "the attempt asks for the manifest" wait_for 20 requested /vandroglade/windows/latest.json
check "and fails: \"HTTP 404\" in the launcher log" wait_for 20 log_has_404
check "failed: the button is free again" wait_for 10 button_is_normal
check "a reader hears the client reorder as the link goes and as it comes back" wait "$reorder_pid"
sleep 0.5
screenshot failed-with-game
check "failed: the link is still shown" between "$(ink_in "${link_rect[@]}" "$card_colour")" 30 100000
check "failed: no progress and no counter" [ "$(filled_units)" = 0 ]
check "failed: a reader finds \"Tekrar Dene\" and the link" msaa screen failed-with-game
check "failed: the focus ring as the window's UI state has it" ring_as_ui_state_says

click_canvas 780 477
check "the link starts the installed game from its folder" wait_for 20 game_started_from_its_folder
check "the launcher stays open" window_count_is 1

rm -f "$game_folder/test-game-start.txt"
check "a reader presses the link" msaa press link
check "its default action starts the installed game" wait_for 20 game_started_from_its_folder

rm -f "$game_folder/test-game-start.txt"
check "Tab moves the focus to the link, and a reader hears it" focus_event_on_key link Tab
check "get_accFocus names the link" msaa focused link
check "Tab shows the focus ring on the link, and none around the button" ring_on_link_only
xdotool key Return
check "Enter on the focused link starts the installed game" wait_for 20 game_started_from_its_folder
key_to_launcher Tab
check "Tab again: the focus is back on the button" msaa focused retry
check "the ring follows it" ring_on_button_only
close_by_glyph
finish
