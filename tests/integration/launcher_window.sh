#!/usr/bin/env bash
# The real launcher's window on the 1280 x 800 virtual screen: its class,
# title and place from the work area, the first-start screen, the hover
# colour, the caption strip, a second start that only raises the first, and
# the minimise and close glyphs. Screenshots are kept when it fails.
# Usage: launcher_window.sh BUILD_DIR SRC_DIR
set -euo pipefail
. "$2/tests/integration/lib/launcher.bash" "$1" "$2" launcher_window
start_private_prefix

start_launcher
check "the window appears" wait_for 30 window_count_is 1
check "its title is exact" [ "$(probe_value title)" = "$window_title" ]
check "1000 x 650 at (140, 75), centred in the 1280 x 800 work area" [ "$(probe_value rect)" = "140,75,1000,650" ]
check "the client area is the whole window" [ "$(probe_value client)" = "1000,650" ]
x_window=$(xdotool search --name "^$window_title\$" | head -1)
check "X sees the same title and geometry" \
  bash -c "xdotool getwindowgeometry '$x_window' | grep -q 'Position: 140,75' && xdotool getwindowgeometry '$x_window' | grep -q 'Geometry: 1000x650'"
locate_window

sleep 1
screenshot idle-first-start
check "first start: the button in its normal colour" button_is_normal
check "first start: no link without an installed game" [ "$(ink_in "${link_rect[@]}" "$card_colour")" = 0 ]
check "the card is drawn" colour_at_is 640 300 "$card_colour"

hover_canvas 800 440
sleep 0.5
screenshot hover
check "hover: the button lightens" colour_at_is "${button_probe[@]}" "$button_hover"
hover_canvas 400 300
sleep 0.5
check "hover ends when the pointer leaves the button" button_is_normal

# With no release on the host an attempt fails: "Tekrar Dene", no link without a game.
rm -f "$host_root/vandroglade/windows/latest.json"
click_canvas 788 433
hover_canvas 400 300
check "an attempt without a release fails with \"HTTP 404\" in the log" wait_for 20 log_has_404
check "failed: the button is free again" wait_for 10 button_is_normal
sleep 0.5
screenshot failed-no-game
check "failed without a game: no link" [ "$(ink_in "${link_rect[@]}" "$card_colour")" = 0 ]

# A second start raises the first window and ends with 0, creating nothing.
rc=0
timeout 60 "$src/tools/wine-run" "$work" "$launcher_exe" >/dev/null 2>&1 || rc=$?
check "a second start exits with 0" [ "$rc" = 0 ]
check "and leaves one window" window_count_is 1

# Dragging the caption strip (left of the glyphs, top 48 units) moves the window.
xdotool mousemove $((wx + 500)) $((wy + 20)) mousedown 1 mousemove $((wx + 520)) $((wy + 30)) \
  mousemove $((wx + 560)) $((wy + 60)) mouseup 1
sleep 1
check "the caption strip drags the window by (60, 40)" [ "$(probe_value rect)" = "200,115,1000,650" ]
locate_window

click_canvas 902 29
iconic_is() { [ "$(probe_value iconic)" = "$1" ]; }
check "the minimise glyph minimises" wait_for 10 iconic_is 1
probe restore >/dev/null
check "restored again" wait_for 10 iconic_is 0
locate_window
sleep 1

close_by_glyph
check "no window is left" window_count_is 0
finish
