#!/usr/bin/env bash
# Closing the window while the network is stalled ends the launcher within
# seconds, not at the 30 s receive time-out: during a body that stops
# mid-way and while waiting for the answer's headers. The attempt ends as
# cancelled. A launcher started right after such a close shows its window
# (the first one still held the single-instance name for a moment).
# Usage: launcher_stalled_close.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_stalled_close
start_private_prefix
publish_test_release '' 2

last_log_line_is_cancelled() { [ "$(tr -d '\r' <"$cache/launcher.log" | tail -n 1)" = Cancelled ]; }

# stall: a host rule for part-000.bin that holds the transfer for 60 s
for stall in '"pause_after": 300000, "pause_seconds": 60' '"first_byte_delay": 60'; do
  printf '{"/vandroglade/windows/%s/part-000.bin": {%s}}\n' "$release_digest" "$stall" >"$published_parts/.rules.json"
  open_launcher "[$stall] "
  press_install
  check "[$stall] the first part is on its way" wait_for 30 part_requested part-000.bin
  sleep 2
  click_canvas 957 29
  check "[$stall] the window goes at once" wait_for 5 window_count_is 0
  if [ "$stall" = '"first_byte_delay": 60' ]; then
    check "[$stall] the launcher ends within a few seconds" wait_launcher 8
    check "[$stall] with exit code 0" [ "${launcher_rc:-}" = 0 ]
  else
    # Started while the first instance still ends: it waits for it and starts.
    first_pid=$launcher_pid
    start_launcher
    second_pid=$launcher_pid
    launcher_pid=$first_pid
    check "[$stall] the launcher ends within a few seconds" wait_launcher 8
    check "[$stall] with exit code 0" [ "${launcher_rc:-}" = 0 ]
    launcher_pid=$second_pid
    check "[$stall] a launcher started right after the close shows its window" wait_for 30 window_count_is 1
    locate_window
    sleep 1
    close_by_glyph
  fi
  check "[$stall] the launcher log says Cancelled" last_log_line_is_cancelled
done
finish
