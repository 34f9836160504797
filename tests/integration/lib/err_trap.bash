# Sourced first by every whole-program test. Under `set -e` a command that
# fails outside a check ends the script; this says which one, where, and with
# what status. Only the script's own shell reports (a subshell's failure shows
# as the failure of the command that ran it), and on stderr, so nothing ever
# lands in a value captured with $(…).
set -E
trap 'command_failed $? "$BASH_COMMAND" "$LINENO"' ERR
command_failed() {  # status command line
  [ "$BASHPID" = "$$" ] || return 0
  echo "ERR: '$2' exited $1 in ${FUNCNAME[1]:-main} (${BASH_SOURCE[1]:-?}:$3)" >&2
}
