#!/usr/bin/env bash
# The real vantrel binary paused and stopped for real, through its own port instructions:
# Ctrl-Z (SIGTSTP) during a burn job stops the process and SIGCONT lets it finish with the
# chip, the line and the clean wire of an uninterrupted burn; SIGQUIT ends a burn with the
# line saying where it stopped, the chip burnt up to there, and the signal's own status.
# Short burns: each access is a trapped instruction.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"
ulimit -c 0

head -c 2048 /dev/urandom >rom.bin

# As without_rawio, but with vantrel itself as the background process: setpriv and env hand
# their process over to it, so that the signals reach the program and not a shell.
NO_RAWIO=()
if [ "$IS_ROOT" = 1 ]; then
    NO_RAWIO=(setpriv --inh-caps=-sys_rawio --bounding-set=-sys_rawio --)
elif has_rawio; then
    echo "this user may open I/O ports: refusing to run vantrel"
    exit 1
fi

# start NAME: the burn job on vantrel with the harness, in a job of its own (PID).
start() {
    SESSION=$1
    set -m
    "${NO_RAWIO[@]}" env -u SUDO_UID -u SUDO_GID ASAN_OPTIONS="$ASAN_HARNESS" LD_PRELOAD="$BIN/harness.so" \
        VANTREL_HARNESS="--chip 27C256 --chip-file $SESSION.chip --pulse 3 --stats" \
        "$BIN/vantrel" -t 27C256 --delay 1 --write rom.bin </dev/null >"$SESSION.out" \
        2>"$SESSION.err" &
    PID=$!
    set +m
    # Until the first cells are burnt: the run is under way.
    for _ in $(seq 200); do
        [ -s "$SESSION.chip" ] && [ "$(head -c 16 "$SESSION.chip" | tr -d '\377' | wc -c)" != 0 ] &&
            break
        sleep 0.05
    done
    sleep 0.1
}
state() {
    sed -n 's/^[0-9]* ([^)]*) \(.\).*/\1/p' "/proc/$PID/stat" 2>/dev/null
}
# await_end: wait for PID (REAL_TIMEOUT seconds at most); STATUS.
await_end() {
    exec 4>&2 2>/dev/null # no job notices from the shell
    local waited=0
    while kill -0 "$PID" && [ "$waited" -lt $((REAL_TIMEOUT * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$PID"
    wait "$PID"
    STATUS=$?
    exec 2>&4 4>&-
}

start tstp
kill -TSTP "$PID"
CHECKS=$((CHECKS + 1))
for _ in $(seq 100); do
    [ "$(state)" = T ] && break
    sleep 0.05
done
[ "$(state)" = T ] || fail "not stopped by SIGTSTP: state $(state)"
sleep 0.3
CHECKS=$((CHECKS + 1))
[ "$(state)" = T ] || fail "went on while stopped: state $(state)"
kill -CONT "$PID"
await_end
expect_status 0
expect_exact "write: 2048 bytes ok\n"
expect_clean_wire
CHECKS=$((CHECKS + 1))
cmp -s -n 2048 tstp.chip rom.bin || fail "the chip does not hold rom.bin"

# Without the bench's own end (a program that ends by a signal leaves no statistics): the
# status, the line, and the chip holding rom.bin up to the address and erased after it.
start quit
kill -QUIT "$PID"
await_end
expect_status 131
at=$(sed -n 's/^write: stopped at 0x\([0-9A-F]\{4\}\)$/\1/p' quit.out)
CHECKS=$((CHECKS + 1))
if [ -z "$at" ]; then
    fail "no stop line: $(cat quit.out quit.err)"
else
    at=$((16#$at))
    cmp -s -n "$at" quit.chip rom.bin || fail "the chip does not hold rom.bin up to $at"
    [ "$(head -c 32768 quit.chip | tail -c +$((at + 2)) | tr -d '\377' | wc -c)" = 0 ] ||
        fail "the chip is not erased after $at"
fi

finish
