#!/usr/bin/env bash
# A screen reader's journey through MSAA, from another process: the tree of
# the first-start screen, "İndir ve Kur" invoked by its default action, the
# bar's value told during a host pause, the downloading screen (one part held
# back, so it can be read), the rest of the install heard with the window
# minimised, the announcements of the whole install, the "Oyna" screen, and
# "Oyna" invoked by its default action starting the game from its folder.
# This player has Windows show keyboard cues, so the focus ring is there
# from the start.
# Usage: launcher_screen_reader.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_screen_reader
start_private_prefix
win reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask /t REG_BINARY /d 3000028012000000 /f >/dev/null
publish_test_release '"delayMs": 2000' 3
# The host pauses twice inside parts: briefly early in the first, so that the
# value after it comes within half a second of an announced one and is held
# back; then 4 s inside the second, with nothing posted, while the held-back
# value must still go out and the downloading screen is read.
printf '{"/vandroglade/windows/%s/part-000.bin": {"pause_after": 100000, "pause_seconds": 0.3},
 "/vandroglade/windows/%s/part-001.bin": {"pause_after": 500000, "pause_seconds": 4}}\n' \
  "$release_digest" "$release_digest" >"$published_parts/.rules.json"

start_launcher
check "the window appears" wait_for 30 window_count_is 1
locate_window
sleep 1
check "keyboard cues on: the focus ring is on the button from the start" ring_on_button_only
check "a reader installs the game by \"İndir ve Kur\" and hears it happen" msaa install
check_installed_screen
check "a reader finds \"Oyna\"" msaa screen ready
check "and presses it" msaa press play
check "\"Oyna\" starts the game from its install folder" wait_for 20 game_started_from_its_folder
close_by_glyph
finish
