#!/usr/bin/env bash
# Ctrl-Z and every other way Unix stops or ends a program, sent for real to vantrel-sim in a
# job of its own: a burn paused with SIGTSTP stops the process (state T) and, continued,
# ends with the chip and the line of an uninterrupted burn; at a prompt or a box the program
# stops and then takes the next answer; on a terminal Ctrl-Z and fg, and a background burn
# whose counter meets `stty tostop`, do the same; every catchable ending signal stops a burn
# with the chip at rest, the job's line saying how far it got and the signal's own status,
# and a stop once the run is over still ends the job by the signal.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
SIM=$(realpath "$SIM")
cd "$TMP" || exit 1
ulimit -c 0 # SIGQUIT and SIGXCPU dump core by default

head -c 131072 /dev/urandom >image.bin
job="-t 27C010 --write image.bin --chip 27010 --stats --chip-file"

# start NAME ARGS...: vantrel-sim in a job of its own (PID; a plain background job would
# start with SIGINT and SIGQUIT ignored), its input a FIFO held open on fd 3.
start() {
    local name=$1
    shift
    rm -f "$name.fifo" && mkfifo "$name.fifo"
    set -m
    "$SIM" "$@" <"$name.fifo" >"$name.out" 2>"$name.err" &
    PID=$!
    set +m
    exec 3>"$name.fifo"
}
# burn NAME: a whole 27C010 burn as a job (some 1.5 s), and a random wait once it runs.
burn() {
    # shellcheck disable=SC2086
    start "$1" $job "$1.chip"
    sleep "0.$((RANDOM % 5))$((RANDOM % 10 + 5))"
}
state() { sed -n 's/^[0-9]* ([^)]*) \(.\).*/\1/p' "/proc/$PID/stat" 2>/dev/null; }
# stopped: PID stops within five seconds.
stopped() {
    for _ in $(seq 100); do
        [ "$(state)" = T ] && return 0
        sleep 0.05
    done
    return 1
}
# finish: wait for PID (a minute at most: a program that hangs is killed); STATUS.
finish() {
    exec 4>&2 2>/dev/null # no job notices from the shell
    for _ in $(seq 600); do
        kill -0 "$PID" || break
        sleep 0.1
    done
    kill -KILL "$PID"
    wait "$PID"
    STATUS=$?
    exec 2>&4 4>&- 3>&-
}
clean_wire() {
    grep -q -x 'board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V' \
        "$1.err" && grep -q -x 'hazards: 0' "$1.err" && grep -q -x 'protocol violations: 0' "$1.err"
}

# ---- Ctrl-Z during a burn, once and twice ------------------------------------------------
for times in 1 2; do
    burn "tstp$times"
    for _ in $(seq "$times"); do
        kill -TSTP "$PID"
        if stopped && sleep 0.3 && [ "$(state)" = T ]; then ok; else bad "tstp$times: not stopped"; fi
        kill -CONT "$PID"
        sleep 0.2
    done
    finish
    if [ "$STATUS" = 0 ] && [ "$(cat "tstp$times.out")" = "write: 131072 bytes ok" ] &&
        cmp -s "tstp$times.chip" image.bin && clean_wire "tstp$times"; then
        ok
    else
        bad "tstp$times: status $STATUS: $(cat "tstp$times.out" "tstp$times.err")"
    fi
done

# ---- Ctrl-Z at a prompt and at a box: stopped there, then the next answer ----------------
# The board hears nothing from it: its one IC4 transfer is the rest state sent when it was found.
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
    if [ "$STATUS" = 1 ] && grep -a -q Goodbye "$at.out" &&
        grep -q -x 'transfers: address register 0, IC5 0, IC4 1' "$at.err"; then
        ok
    else
        bad "$at: status $STATUS: $(grep transfers "$at.err")"
    fi
done

# ---- On a terminal: an interactive shell's Ctrl-Z and fg ---------------------------------
# The background burn's counter line raises SIGTTOU in the middle of its write.
if command -v tmux >/dev/null; then
    T=(tmux -S "$TMP/tmux.sock" -f /dev/null)
    trap '"${T[@]}" kill-server 2>/dev/null; rm -rf "$TMP"' EXIT
    "${T[@]}" new-session -d -s tty -x 150 -y 40 -c "$TMP" "bash --norc --noprofile -i"
    keys() { "${T[@]}" send-keys -t tty:0.0 "$@"; }
    pane() { "${T[@]}" capture-pane -p -t tty:0.0; }
    # shows TEXT [N]: the pane shows TEXT on N lines (1) within ten seconds.
    shows() {
        for _ in $(seq 200); do
            [ "$(pane | grep -c -F -- "$1")" -ge "${2:-1}" ] && return 0
            sleep 0.05
        done
        return 1
    }
    keys -l "stty tostop; set -b; \"$SIM\" $job fg.chip" && keys Enter
    shows elapsed && keys C-z
    if shows Stopped; then ok; else bad "tty: Ctrl-Z did not stop the burn: $(pane)"; fi
    keys -l fg && keys Enter
    if shows 'write: 131072 bytes ok' && cmp -s fg.chip image.bin; then ok; else bad "tty: $(pane)"; fi
    keys -l "\"$SIM\" $job bg.chip &" && keys Enter
    if shows Stopped 2; then ok; else bad "tty: the background burn did not stop: $(pane)"; fi
    keys -l fg && keys Enter
    if shows 'write: 131072 bytes ok' 2 && cmp -s bg.chip image.bin; then ok; else bad "tty: $(pane)"; fi
    "${T[@]}" kill-server
fi

# ---- Every ending signal during a burn ---------------------------------------------------
# The chip file holds the image up to the address of the line and erased cells after it
# (the cell at that address may hold part of its byte).
for sig in QUIT USR1 USR2 ALRM VTALRM PROF XCPU PWR; do
    burn "$sig"
    kill -"$sig" "$PID"
    finish
    at=$(sed -n 's/^write: stopped at 0x\([0-9A-F]*\)$/\1/p' "$sig.out")
    if [ "$STATUS" = $((128 + $(kill -l "$sig"))) ] && clean_wire "$sig" && [ -n "$at" ] &&
        cmp -s -n $((16#$at)) "$sig.chip" image.bin &&
        [ "$(tail -c +$((16#$at + 2)) "$sig.chip" | tr -d '\377' | wc -c)" = 0 ]; then
        ok
    else
        bad "$sig: status $STATUS: $(cat "$sig.out" "$sig.err")"
    fi
done

# ---- A stop once the run is over ----------------------------------------------------------
# The read's image waits on a full pipe that nobody reads: a stop there ends the job by the
# signal, not with the status of a failed write. A signal may only shorten the write it
# interrupts: it is sent until the program ends.
rm -f out.fifo && mkfifo out.fifo
exec 5<>out.fifo # a reader that reads nothing
set -m
"$SIM" --chip 27010 --chip-file tstp1.chip -t 27C010 --read - </dev/null >out.fifo 2>rd.err &
PID=$!
set +m
for _ in $(seq 200); do
    grep -q pipe_write "/proc/$PID/wchan" 2>/dev/null && break
    sleep 0.05
done
for _ in $(seq 50); do
    kill -TERM "$PID" 2>/dev/null || break
    sleep 0.1
done
exec 3>/dev/null
finish
exec 5>&-
if [ "$STATUS" = 143 ]; then ok; else bad "readout: status $STATUS: $(cat rd.err)"; fi

tally_end
