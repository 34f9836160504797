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
check_installed_screen

close_by_glyph
finish
