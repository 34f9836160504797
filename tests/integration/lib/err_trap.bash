# Sourced first by every whole-program test. Under `set -e` a command that
# fails outside a check ends the script; this says which one, where, and with
# what status. Only the script's own shell reports (a subshell's failure shows
# as the failure of the command that ran it), and on stderr, so nothing ever
# lands in a value captured with $(…).
set -E
trap 'command_failed $? "$BASH_COMMAND" "$LINENO"' ERR
command_failed() {  # status command line
  [ "$BASHPID" = "$$" ] || return 0
  local what=$2 file=${BASH_SOURCE[1]:-?}
  # A function that returned a failure shows as its "return": name its call instead.
  if [[ $what == return* ]] && [ -r "$file" ]; then what=$(sed -n "$3{s/^[[:space:]]*//;p}" "$file"); fi
  echo "ERR: '$what' exited $1 in ${FUNCNAME[1]:-main} ($file:$3)" >&2
}
