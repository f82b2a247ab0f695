#!/usr/bin/env bash
# Ctrl-Z and every other way Unix stops or ends a program, sent for real to vantrel-sim in a
# job of its own: a burn paused with SIGTSTP stops the process (state T) and, once continued,
# ends with the chip and the result line of an uninterrupted burn; at a prompt or a box the
# program stops and goes on with the next answer; every catchable ending signal stops a burn
# with the chip at rest and ends the program by that signal, after the job's line saying how
# far the burn got, and a stop after the run still ends the job by the signal.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
SIM=$(realpath "$SIM")
cd "$TMP" || exit 1
ulimit -c 0 # SIGQUIT and SIGXCPU dump core by default

head -c 131072 /dev/urandom >image.bin
idle='board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V'

# start NAME ARGS...: vantrel-sim in a job of its own (PID), its input a FIFO held open on
# fd 3. A shell's plain background job would start with SIGINT and SIGQUIT ignored.
start() {
    local name=$1
    shift
    rm -f "$name.fifo"
    mkfifo "$name.fifo"
    set -m
    "$SIM" "$@" <"$name.fifo" >"$name.out" 2>"$name.err" &
    PID=$!
    set +m
    exec 3>"$name.fifo"
}
# burn NAME: a whole 27C010 burn as a job (some 1.5 s), and a random wait once it runs.
burn() {
    start "$1" --chip 27010 --chip-file "$1.chip" --stats -t 27C010 --write image.bin
    sleep "0.$((RANDOM % 5))$((RANDOM % 10))"
    sleep 0.05
}
# state: the process state letter of PID (T: stopped), empty once it has ended.
state() {
    sed -n 's/^[0-9]* ([^)]*) \(.\).*/\1/p' "/proc/$PID/stat" 2>/dev/null
}
# stopped: PID stops within five seconds.
stopped() {
    local n
    for n in $(seq 100); do
        [ "$(state)" = T ] && return 0
        sleep 0.05
    done
    return 1
}
# finish: wait for PID (a minute at most: a program that hangs is killed); STATUS.
finish() {
    exec 4>&2 2>/dev/null # no job notices from the shell
    local waited=0
    while kill -0 "$PID" && [ "$waited" -lt 600 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$PID"
    wait "$PID"
    STATUS=$?
    exec 2>&4 4>&- 3>&-
}
clean_wire() {
    grep -q -x "$idle" "$1.err" && grep -q -x 'hazards: 0' "$1.err" &&
        grep -q -x 'protocol violations: 0' "$1.err"
}

# ---- Ctrl-Z during a burn --------------------------------------------------------------
# Paused once, and twice; continued after a while: the uninterrupted burn's chip and line.
for times in 1 2; do
    name=tstp$times
    burn "$name"
    for _ in $(seq "$times"); do
        kill -TSTP "$PID"
        if stopped; then ok; else bad "$name: not stopped: state $(state)"; fi
        sleep 0.3
        if [ "$(state)" = T ]; then ok; else bad "$name: went on while stopped"; fi
        kill -CONT "$PID"
        sleep 0.2
    done
    finish
    if [ "$STATUS" = 0 ] && [ "$(cat "$name.out")" = "write: 131072 bytes ok" ]; then
        ok
    else
        bad "$name: status $STATUS: $(cat "$name.out" "$name.err")"
    fi
    if cmp -s "$name.chip" image.bin; then ok; else bad "$name: the chip is not the image"; fi
    if clean_wire "$name"; then ok; else bad "$name: $(cat "$name.err")"; fi
done

# A stop while paused ends the burn as a stop does: its line, its status, the chip at rest.
burn tstp_term
kill -TSTP "$PID"
stopped || bad "tstp_term: not stopped"
kill -TERM "$PID"
kill -CONT "$PID"
finish
if [ "$STATUS" = 143 ] && grep -q -x 'write: stopped at 0x[0-9A-F]\{4,5\}' tstp_term.out; then
    ok
else
    bad "tstp_term: status $STATUS: $(cat tstp_term.out)"
fi
if clean_wire tstp_term; then ok; else bad "tstp_term: $(cat tstp_term.err)"; fi

# ---- A stop once the run is over ------------------------------------------------------------
# The read's image waits on a full pipe that nobody reads: a stop there still ends the job by
# the signal (as one between two actions does), not with the status of a failed write.
rm -f out.fifo
mkfifo out.fifo
exec 5<>out.fifo # a reader that reads nothing
set -m
"$SIM" --chip 27010 --chip-file tstp1.chip -t 27C010 --read - </dev/null >out.fifo 2>readout.err &
PID=$!
set +m
for _ in $(seq 200); do
    grep -q pipe_write "/proc/$PID/wchan" 2>/dev/null && break
    sleep 0.05
done
# A signal may only shorten the write it interrupts: send it until the program ends.
for _ in $(seq 50); do
    kill -TERM "$PID" 2>/dev/null || break
    sleep 0.1
done
exec 3>/dev/null
finish
exec 5>&-
if [ "$STATUS" = 143 ]; then ok; else bad "readout: status $STATUS: $(cat readout.err)"; fi

# ---- Ctrl-Z at a prompt and at a box ---------------------------------------------------
# The process stops where it waits; continued, it takes the next answer there.
for at in menu box; do
    start "$at" --stats
    [ "$at" = menu ] && printf '1\n' >&3 || printf '1\nl\nnothing.bin\n' >&3
    for _ in $(seq 100); do
        grep -a -q 'select> \|press Enter' "$at.out" && break
        sleep 0.05
    done
    kill -TSTP "$PID"
    if stopped; then ok; else bad "$at: not stopped: state $(state)"; fi
    kill -CONT "$PID"
    [ "$at" = menu ] && printf 'q\n' >&3 || printf '\n\nq\n' >&3
    finish
    if [ "$STATUS" = 1 ] && grep -a -q Goodbye "$at.out"; then ok; else bad "$at: status $STATUS"; fi
    if grep -q -x 'transfers: address register 0, IC5 0, IC4 0' "$at.err"; then
        ok
    else
        bad "$at: $(grep transfers "$at.err")"
    fi
done

# ---- On a terminal: an interactive shell's Ctrl-Z and fg ----------------------------------
# Ctrl-Z typed during a burn in the foreground, and a burn in the background whose progress
# line meets `stty tostop` (SIGTTOU in the middle of the write): each stops, and fg lets it
# end as an uninterrupted burn.
if command -v tmux >/dev/null; then
    T=(tmux -S "$TMP/tmux.sock" -f /dev/null)
    trap '"${T[@]}" kill-server 2>/dev/null; rm -rf "$TMP"' EXIT
    "${T[@]}" new-session -d -s tty -x 150 -y 40 -c "$TMP" "bash --norc --noprofile -i"
    keys() { "${T[@]}" send-keys -t tty:0.0 "$@"; }
    pane() { "${T[@]}" capture-pane -p -t tty:0.0; }
    # shows TEXT: the pane shows TEXT on N lines (default 1) within ten seconds.
    shows() {
        local n
        for n in $(seq 200); do
            [ "$(pane | grep -c -F -- "$1")" -ge "${2:-1}" ] && return 0
            sleep 0.05
        done
        return 1
    }
    job="-t 27C010 --write image.bin --chip 27010 --chip-file"
    keys -l "stty tostop; set -b; \"$SIM\" $job fg.chip"
    keys Enter
    if shows elapsed; then keys C-z; fi
    if shows Stopped; then ok; else bad "tty: Ctrl-Z did not stop the burn"; fi
    keys -l fg
    keys Enter
    if shows 'write: 131072 bytes ok' && cmp -s fg.chip image.bin; then
        ok
    else
        bad "tty: no uninterrupted burn after Ctrl-Z and fg: $(pane)"
    fi
    keys -l "\"$SIM\" $job bg.chip &"
    keys Enter
    if shows Stopped 2; then
        ok
    else
        bad "tty: the background burn did not stop: $(pane)"
    fi
    keys -l fg
    keys Enter
    if shows 'write: 131072 bytes ok' 2 && cmp -s bg.chip image.bin; then
        ok
    else
        bad "tty: no uninterrupted background burn: $(pane)"
    fi
    "${T[@]}" kill-server
fi

# ---- Every ending signal during a burn ----------------------------------------------------
# The chip at rest, the job's line with the address it stopped at, the signal's own status,
# and the chip file holding the image up to that address and erased cells after it (the
# cell at the address itself may hold part of its byte).
for sig in QUIT USR1 USR2 ALRM VTALRM PROF XCPU PWR; do
    burn "$sig"
    kill -"$sig" "$PID"
    finish
    want=$((128 + $(kill -l "$sig")))
    if [ "$STATUS" = "$want" ]; then ok; else bad "$sig: status $STATUS, wanted $want"; fi
    if clean_wire "$sig"; then ok; else bad "$sig: $(cat "$sig.err")"; fi
    at=$(sed -n 's/^write: stopped at 0x\([0-9A-F]*\)$/\1/p' "$sig.out")
    if [ -n "$at" ]; then
        at=$((16#$at))
        if cmp -s -n "$at" "$sig.chip" image.bin &&
            [ "$(tail -c +$((at + 2)) "$sig.chip" | tr -d '\377' | wc -c)" = 0 ]; then
            ok
        else
            bad "$sig: the chip is not the image up to $at and erased after it"
        fi
    else
        bad "$sig: no 'stopped at' line: $(cat "$sig.out")"
    fi
done

tally_end
