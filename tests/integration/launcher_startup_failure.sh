#!/usr/bin/env bash
# When the package cache folder cannot be created (a file stands where the
# "Vandro" folder belongs), start-up shows one error box "VandroGLADE
# başlatılamadı.", creates no window and ends with exit code 1 once the box
# is closed; with the obstacle gone the next start runs normally.
# Usage: launcher_startup_failure.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_startup_failure
start_private_prefix
mkdir -p "$appdata"
echo "not a folder" >"$appdata/Vandro"

start_launcher
dialog_shown() { probe dialog | grep -qx "dialogs=1"; }
check "an error box appears" wait_for 30 dialog_shown
sleep 0.5
screenshot startup-failure
dialog_says() { probe dialog | grep -qxF "text=$1"; }
check "it says VandroGLADE başlatılamadı." dialog_says "VandroGLADE başlatılamadı."
check "no launcher window exists" window_count_is 0
probe dismiss >/dev/null
check "closing the box ends the launcher" wait_launcher 20
check "with exit code 1" [ "${launcher_rc:-}" = 1 ]

rm -f "$appdata/Vandro"
start_launcher
check "with the folder free the next start opens its window" wait_for 30 window_count_is 1
check "and creates the cache folder" test -d "$cache"
locate_window
close_by_glyph
finish
