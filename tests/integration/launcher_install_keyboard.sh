#!/usr/bin/env bash
# Enter presses the main button: from the first-start screen it runs the
# whole install from the test host to "Oyna", as a click does.
# Usage: launcher_install_keyboard.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_install_keyboard
start_private_prefix
publish_test_release '' 2

start_launcher
check "the window appears" wait_for 30 window_count_is 1
locate_window
sleep 1

key_to_launcher Return
check "Enter starts an attempt: the manifest is fetched" wait_for 20 requested /vandroglade/windows/latest.json
check "installed: the record is written" wait_for 60 test -s "$cache/installed-package.json"
button_ready() { colour_at_is "${button_probe[@]}" "$button_normal"; }
check "installed: the button is ready again" wait_for 10 button_ready
sleep 0.5
screenshot installed-ready
check "installed: the full bar" filled_units_near 264
check "installed: no link beside \"Oyna\"" [ "$(ink_in "${link_rect[@]}" "$card_colour")" = 0 ]
check "installed: the game is in its folder" test -f "$game_folder/VandroGLADE.exe"

click_canvas 957 29
check "closed" wait_launcher 20
check "with exit code 0" [ "${launcher_rc:-}" = 0 ]
finish
