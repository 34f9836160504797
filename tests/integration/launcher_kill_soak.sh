#!/usr/bin/env bash
# The real launcher killed hard at moments spread over every stage of an
# install attempt (20 kills here; tools/kill-soak runs more): the record is
# never partial, no setup program with wrong bytes lies in the cache, the
# launcher starts again cleanly and the game becomes playable.
# Usage: launcher_kill_soak.sh BUILD_DIR SRC_DIR  (VANDRO_KILLS, VANDRO_KILL_SEED)
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_kill_soak
. "$2/tests/integration/lib/kill_soak.bash"
start_private_prefix
kill_soak "${VANDRO_KILLS:-20}" "${VANDRO_KILL_SEED:-20261208}"
finish
