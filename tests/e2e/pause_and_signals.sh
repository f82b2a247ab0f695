#!/usr/bin/env bash
# Ctrl-Z and every other way Unix stops or ends a program, sent for real to vantrel-sim in a
# job of its own: a burn paused with SIGTSTP stops the process (state T) and, continued,
# ends with the chip and the line of an uninterrupted burn; at a prompt or a box the program
# stops and then takes the next answer; every catchable ending signal stops a burn with the
# chip at rest, the job's line saying how far it got and the signal's own status, and a stop
# once the run is over still ends the job by the signal. (Ctrl-Z on a terminal:
# tmux_pause.sh.)
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"
ulimit -c 0 # SIGQUIT and SIGXCPU dump core by default

head -c 131072 /dev/urandom >image.bin
job="-t 27C010 --write image.bin --chip 27010 --stats --chip-file"

# burn NAME: a whole 27C010 burn as a job (some 1.5 s); once its first cells are burnt, a
# random wait of up to a quarter of a second.
burn() {
    # shellcheck disable=SC2086
    start "$1" $job "$1.chip"
    check wait_for 60 burning "$1.chip" || fail "the burn did not start"
    sleep "$(printf "0.%02d" $((RANDOM % 25)))"
}
clean_wire() {
    grep -q -x 'board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V' \
        "$1.err" && grep -q -x 'hazards: 0' "$1.err" && grep -q -x 'protocol violations: 0' "$1.err"
}

# ---- Ctrl-Z during a burn, once and twice ------------------------------------------------
# Stopped, it stays stopped; continued, it burns on before the next Ctrl-Z.
for times in 1 2; do
    burn "tstp$times"
    for _ in $(seq "$times"); do
        kill -TSTP "$PID"
        check wait_for 5 stopped "$PID" && sleep 0.3 && stopped "$PID" || fail "not stopped"
        cells=$(burnt_cells "tstp$times.chip")
        kill -CONT "$PID"
        check wait_for 60 burning "tstp$times.chip" "$cells" || fail "the burn did not go on"
    done
    reap
    expect_status 0
    check [ "$(cat "tstp$times.out")" = "$(burn_line image.bin)" ] &&
        cmp -s "tstp$times.chip" image.bin && clean_wire "tstp$times" ||
        fail "$(cat "tstp$times.out" "tstp$times.err")"
done

# ---- Ctrl-Z at a prompt and at a box: stopped there, then the next answer ----------------
# The board hears nothing from it: its one IC4 transfer is the rest state sent when it was found.
for at in menu box; do
    start "$at" --stats
    [ "$at" = menu ] && printf '1\n' >&3 || printf '1\nl\nnothing.bin\n' >&3
    check wait_for 10 grep -a -q 'select> \|press Enter' "$at.out" &&
        wait_for 10 waiting_for_input "$PID" || fail "not waiting at the $at"
    kill -TSTP "$PID"
    check wait_for 5 stopped "$PID" || fail "not stopped: state $(state_of "$PID")"
    kill -CONT "$PID"
    [ "$at" = menu ] && printf 'q\n' >&3 || printf '\n\nq\n' >&3
    reap
    expect_status 1
    expect_has Goodbye
    check grep -q -x 'transfers: address register 0, IC5 0, IC4 1' "$at.err" ||
        fail "$(grep transfers "$at.err")"
done

# ---- Every ending signal during a burn ---------------------------------------------------
# The chip file holds the image up to the address of the line and erased cells after it
# (the cell at that address may hold part of its byte).
for sig in QUIT USR1 USR2 ALRM VTALRM PROF XCPU PWR; do
    burn "$sig"
    kill -"$sig" "$PID"
    reap
    expect_status $((128 + $(kill -l "$sig")))
    at=$(sed -n 's/^write: stopped at 0x\([0-9A-F]*\)$/\1/p' "$sig.out")
    check clean_wire "$sig" && [ -n "$at" ] && cmp -s -n $((16#$at)) "$sig.chip" image.bin &&
        [ "$(tail -c +$((16#$at + 2)) "$sig.chip" | tr -d '\377' | wc -c)" = 0 ] ||
        fail "$(cat "$sig.out" "$sig.err")"
done

# ---- A stop once the run is over ----------------------------------------------------------
# The read's image waits on a full pipe that nobody reads: a stop there ends the job by the
# signal, not with the status of a failed write. A signal may only shorten the write it
# interrupts: it is sent until the program ends.
SESSION=readout
rm -f out.fifo && mkfifo out.fifo
exec 5<>out.fifo # a reader that reads nothing
set -m
"$SIM" --chip 27010 --chip-file tstp1.chip -t 27C010 --read - </dev/null >out.fifo 2>readout.err &
PID=$!
set +m
exec 3>/dev/null
check wait_for 10 writing_output "$PID" || fail "not writing to the full pipe"
for _ in $(seq 50); do
    kill -TERM "$PID" 2>/dev/null || break
    sleep 0.1
done
reap
exec 5>&-
expect_status 143

finish
