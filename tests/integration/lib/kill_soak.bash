# The kill soak (sourced after launcher.bash): the real launcher is killed
# hard at a moment aimed at one stage of an install attempt, again and again.
# After every kill the player's files must be whole, the launcher must start
# again cleanly, and the game must become playable ("Oyna") once any setup
# program left running has ended.
#
#   kill_soak KILLS SEED
#
# The seed fixes the schedule (stages, offsets, starting states), not the
# exact instants. The stages come in rounds of seven, each round every stage
# once in a drawn order, so any soak of 7 kills or more reaches them all.
# One line per kill, then the kills by stage (drawn, moment reached) and
# outcome. Every start of the launcher keeps its own output.

stages=(manifest mid-part between-parts verification replacement setup-run record-write)
old_record=$'{\r\n  "sha256": "'$(printf 'a%.0s' $(seq 64))$'",\r\n  "version": "1.0.0"\r\n}'
violations=0

violation() {  # kill number, what
  echo "VIOLATION (kill $1): $2"
  violations=$((violations + 1))
}

# Draws into $drawn, in the script's own shell: bash reseeds RANDOM in every
# subshell, so a draw made inside $(…) would not follow the seed. 30 bits,
# as some draws reach past RANDOM's 32767.
random_below() { drawn=$(((RANDOM << 15 | RANDOM) % $1)); }

# The next round of stages into $round: every stage once, shuffled from the seed.
draw_round() {
  local i t
  round=("${stages[@]}")
  for ((i = ${#round[@]} - 1; i > 0; i--)); do
    random_below $((i + 1))
    t=${round[i]}
    round[i]=${round[drawn]}
    round[drawn]=$t
  done
}

# The Windows process, found with prefix_processes: the shell that started
# the launcher is not it.
kill_launcher_hard() {
  local p
  for p in $(prefix_processes 'vandroglade-launcher\.exe'); do kill -9 "$p" 2>/dev/null || true; done
  wait "$launcher_pid" 2>/dev/null || true
  launcher_pid=""
}

setup_pattern='VandroGLADE-[0-9a-f]{16}\.exe'
setup_running() { [ -n "$(prefix_processes "$setup_pattern")" ]; }
setup_ended() { ! setup_running; }
stop_test_games() {
  local p
  for p in $(prefix_processes 'VandroGLADE Test.VandroGLADE\.exe'); do kill -9 "$p" 2>/dev/null || true; done
}
record_file() { echo "$cache/installed-package.json"; }

# The record is absent, the old one or the new one, byte for byte.
record_state() {
  local file
  file=$(record_file)
  if [ ! -e "$file" ]; then echo absent; return; fi
  if [ "$(cat "$file")" = "$old_record" ]; then echo old; return; fi
  if [ "$(cat "$file")" = "$new_record" ]; then echo new; return; fi
  echo broken
}

record_is_new() { [ "$(record_state)" = new ]; }

# Every file named like the setup program holds the package it is named for.
setup_files_whole() {
  local f
  for f in "$cache"/VandroGLADE-*.exe; do
    [ -e "$f" ] || continue
    [ "$(sha256sum "$f" | cut -d' ' -f1)" = "$package_sha" ] || { echo "$(basename "$f")"; return 1; }
  done
}

# Polls every few milliseconds: some stages last only tens of them.
wait_fast() {  # seconds, then a command
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.005
  done
}

# Waits for the moment aimed at, then for the offset; false if it never came.
wait_trigger() {  # stage part
  case "$1" in
    manifest) wait_fast 20 requested "/vandroglade/windows/latest.json" ;;
    mid-part|between-parts) wait_fast 30 part_requested "part-00$2.bin" ;;
    verification) wait_fast 30 part_file_complete ;;
    replacement) wait_fast 30 setup_file_present ;;
    setup-run) wait_fast 30 test -e "$cache/install.log" ;;
    record-write) wait_fast 30 test -e "$cache/install.log" && wait_fast 30 setup_ended ;;
  esac
}

# What the kill left, as evidence of where it landed.
evidence() {
  local part
  part=$(stat -c %s "$cache"/VandroGLADE-*.exe.part 2>/dev/null || echo none)
  printf 'part file %s, setup program %s, setup started %s' "$part" \
    "$(setup_file_present && echo yes || echo no)" "$(test -e "$cache/install.log" && echo yes || echo no)"
}
part_file_complete() { [ "$(stat -c %s "$cache"/VandroGLADE-*.exe.part 2>/dev/null)" = "$package_size" ]; }
setup_file_present() { compgen -G "$cache/VandroGLADE-*.exe" >/dev/null; }

# The offset after the trigger, in milliseconds, drawn from the seed ($drawn).
draw_offset_ms() {
  case "$1" in
    manifest) random_below 900 ;;        # inside the host's one-second delay
    mid-part) random_below 900 ;;        # inside the part's one-second pause
    between-parts) random_below 30 ;;
    verification|replacement) random_below 10 ;;
    setup-run) random_below 800 ;;       # the setup program runs a second
    record-write) random_below 30 ;;
  esac
}

kill_soak() {
  local kills=$1 seed=$2 n stage part offset state orphan playable round=()
  RANDOM=$seed
  echo "kill soak: $kills kills, seed $seed (set VANDRO_KILL_SEED to replay the schedule)"
  declare -A by_stage=() reached=() outcomes=()
  publish_test_release '"delayMs": 1000' 4 $((8 * 1024 * 1024))
  package_sha=$(sha256sum "$work/setup.exe" | cut -d' ' -f1)
  package_size=$(stat -c %s "$work/setup.exe")
  new_record=$'{\r\n  "sha256": "'"$package_sha"$'",\r\n  "version": "1.1.1"\r\n}'
  mkdir -p "$cache"

  for n in $(seq "$kills"); do
    if [ $(((n - 1) % ${#stages[@]})) = 0 ]; then draw_round; fi
    stage=${round[(n - 1) % ${#stages[@]}]}
    random_below 3
    part=$((drawn + 1))
    draw_offset_ms "$stage"
    offset=$drawn
    # Each kill starts from a player who has no game yet and either no record
    # or an older one; a verified setup program from before is gone, so the
    # attempt downloads.
    stop_test_games
    win reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
    rm -rf "$game_folder" "$cache"/VandroGLADE-* "$cache/install.log" "$cache"/installed-package.json*
    random_below 2
    if [ "$drawn" = 1 ]; then printf '%s' "$old_record" > "$(record_file)"; fi
    case "$stage" in
      manifest) printf '{"/vandroglade/windows/latest.json": {"first_byte_delay": 1}}\n' \
        > "$host_root/vandroglade/windows/.rules.json" ;;
      mid-part) rm -f "$host_root/vandroglade/windows/.rules.json"
        random_below 1500000
        pause_part "part-00$part.bin" $((drawn + 1000)) 1 ;;
      *) rm -f "$host_root/vandroglade/windows/.rules.json" "$published_parts/.rules.json" ;;
    esac
    requests_mark=$( (cat "$host_root/.requests.log" 2>/dev/null || true) | wc -l)

    start_launcher
    if ! wait_for 30 window_count_is 1; then violation "$n" "no window before the kill"; kill_launcher_hard; continue; fi
    locate_window
    key_to_launcher Return
    if wait_trigger "$stage" "$part"; then
      reached[$stage]=$(( ${reached[$stage]:-0} + 1 ))
    else
      echo "kill $n: $stage: the moment never came; killed anyway"
    fi
    sleep "$(printf '0.%03d' "$offset")"
    kill_launcher_hard
    rm -f "$host_root/vandroglade/windows/.rules.json" "$published_parts/.rules.json"

    state=$(record_state)
    left=$(evidence)
    [ "$state" = broken ] && violation "$n" "installed-package.json is neither absent, the old nor the new record"
    bad=$(setup_files_whole) || violation "$n" "$bad lies in the cache with bytes that do not match its digest"
    wait_for 10 window_count_is 0 || violation "$n" "the killed launcher's window stayed"

    orphan=no
    if setup_running; then
      # A restart while the setup program left behind still runs.
      orphan=yes
      start_launcher
      wait_for 30 window_count_is 1 || violation "$n" "no window on a restart beside the running setup program"
      [ "$(probe dialog | sed -n 's/^dialogs=//p')" = 0 ] || violation "$n" "an error box on a restart"
      locate_window
      click_canvas 957 29
      wait_launcher 30 || { violation "$n" "the restart did not close"; kill_launcher_hard; }
      if ! wait_for 60 setup_ended; then
        if [ -e "$cache/install.log" ]; then
          violation "$n" "the setup program never ended"
        else
          # Never ran: under Wine a parent killed while creating a process can
          # leave the child waiting for it forever (Windows creates processes
          # whole). Not the launcher's doing; it goes, and is counted.
          echo "kill $n: a setup process killed in its creation never started (Wine); removed"
          for p in $(prefix_processes "$setup_pattern"); do kill -9 "$p" 2>/dev/null || true; done
        fi
      fi
    fi

    # Once nothing runs any more: the launcher starts cleanly and the main
    # button starts the game, at once or after one whole attempt.
    start_launcher
    wait_for 30 window_count_is 1 || violation "$n" "no window after the kill"
    [ "$(probe dialog | sed -n 's/^dialogs=//p')" = 0 ] || violation "$n" "an error box after the kill"
    locate_window
    rm -f "$game_folder/test-game-start.txt"
    key_to_launcher Return
    if wait_for 5 test -e "$game_folder/test-game-start.txt"; then
      playable=at-start
    elif wait_for 90 record_is_new && sleep 1 && key_to_launcher Return &&
         wait_for 20 test -e "$game_folder/test-game-start.txt"; then
      playable=after-attempt
    else
      playable=never
      violation "$n" "the game never became playable; launcher log: $(tr -d '\r' < "$cache/launcher.log" 2>/dev/null | tail -1)"
    fi
    case "$(record_state)" in broken) violation "$n" "the record broke after the kill" ;; esac
    stop_test_games
    click_canvas 957 29
    wait_launcher 30 || kill_launcher_hard

    echo "kill $n: $stage+${offset}ms: $left; record $state, setup left running: $orphan, playable $playable"
    by_stage[$stage]=$(( ${by_stage[$stage]:-0} + 1 ))
    outcomes["$stage: record $state, playable $playable"]=$(( ${outcomes["$stage: record $state, playable $playable"]:-0} + 1 ))
  done

  echo "kills by stage (drawn, moment reached):"
  for stage in "${stages[@]}"; do
    printf '  %-14s %d, %d\n' "$stage" "${by_stage[$stage]:-0}" "${reached[$stage]:-0}"
  done
  echo "outcomes:"
  for key in "${!outcomes[@]}"; do printf '  %-60s %d\n' "$key" "${outcomes[$key]}"; done | sort
  echo "violations: $violations"
  check "no kill left broken files or an unplayable game" [ "$violations" = 0 ]
  if [ "$kills" -ge ${#stages[@]} ]; then
    for stage in "${stages[@]}"; do
      check "the soak reached the $stage moment at least once" [ "${reached[$stage]:-0}" -ge 1 ]
    done
  fi
}
