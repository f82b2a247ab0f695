# Shared preamble of the vantrel-sim option scripts, sourced as
#   source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
# SIM is the program under test, TMP a scratch directory removed at exit; ok and bad count
# the checks, and tally_end prints the count and gives the script's exit status.
set -u
SIM=${1:?usage: bash script.sh /path/to/vantrel-sim}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
passed=0
failed=0
ok() { passed=$((passed + 1)); }
bad() {
    echo "FAIL $*"
    failed=$((failed + 1))
}
# run NAME INPUT ARGS...: a session with INPUT (printf escapes) on standard input; the screen
# goes to $TMP/NAME.out, standard error to $TMP/NAME.err, the exit status to $TMP/NAME.rc.
run() {
    local name=$1 input=$2
    shift 2
    printf "$input" | timeout 60 "$SIM" "$@" >"$TMP/$name.out" 2>"$TMP/$name.err"
    echo $? >"$TMP/$name.rc"
}
tally_end() {
    echo "$(basename "$0" .sh): $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
