#!/usr/bin/env bash
# The real vantrel binary paused for real, through its own port instructions: Ctrl-Z
# (SIGTSTP) during a burn job stops the process, and SIGCONT lets it finish with the chip,
# the line and the clean wire of an uninterrupted burn. A short burn: each access is a
# trapped instruction.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

head -c 2048 /dev/urandom >rom.bin
# As without_rawio, with vantrel itself as the background process (setpriv and env hand it
# their process), so that the signals reach the program and not a shell.
NO_RAWIO=()
[ "$IS_ROOT" = 1 ] && NO_RAWIO=(setpriv --inh-caps=-sys_rawio --bounding-set=-sys_rawio --)
has_rawio && [ "$IS_ROOT" = 0 ] && { echo "this user may open I/O ports: not run"; exit 1; }

SESSION=tstp
set -m
"${NO_RAWIO[@]}" env -u SUDO_UID -u SUDO_GID ASAN_OPTIONS="$ASAN_HARNESS" \
    LD_PRELOAD="$BIN/harness.so" \
    VANTREL_HARNESS="--chip 27C256 --chip-file tstp.chip --pulse 3 --stats" \
    "$BIN/vantrel" -t 27C256 --delay 1 --write rom.bin </dev/null >tstp.out 2>tstp.err &
PID=$!
set +m
# Once the first cells are burnt, the run is under way; stopped, it stays stopped.
check wait_for 10 burning tstp.chip || fail "the burn did not start"
kill -TSTP "$PID"
check wait_for 5 stopped "$PID" && sleep 0.3 && stopped "$PID" ||
    fail "not stopped by SIGTSTP: state $(state_of "$PID")"
kill -CONT "$PID"
reap "$REAL_TIMEOUT"
expect_status 0
expect_exact "$(burn_line rom.bin)\n"
expect_clean_wire
check cmp -s -n 2048 tstp.chip rom.bin || fail "the chip does not hold rom.bin"

finish
