#!/usr/bin/env bash
# As people type and as Unix stops programs: one answer a line whatever follows the key
# (blanks, CR LF, a word typed at a box), and a burn stopped by SIGINT, SIGTERM, SIGHUP,
# SIGKILL or a closed pipe at a random moment leaves the programming voltage off, the chip
# deselected and the chip file holding exactly the bytes burnt so far.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
rc() { cat "$TMP/$1.rc"; }
SIM=$(realpath "$SIM")
cd "$TMP" || exit 1

# ---- One answer a line ---------------------------------------------------------------------
# A blank after the key, and the same script with CR LF line ends: the save goes to new.bin.
for form in lf crlf; do
    rm -f new.bin file.rom
    script='1\ns \nnew.bin\n\nq\n'
    [ "$form" = crlf ] && script='1\r\ns \r\nnew.bin\r\n\r\nq\r\n'
    run "save_$form" "$script"
    if [ "$(rc "save_$form")" = 1 ] && [ "$(stat -c %s new.bin 2>/dev/null)" = 65536 ] &&
        [ ! -e file.rom ]; then ok; else bad "save_$form: not saved to new.bin: $(ls)"; fi
done
# "yes" typed at the box of a refused load is one answer, not the keys y, e and s.
head -c 70000 /dev/urandom >big.bin
cp big.bin big.orig
for nl in '\n' '\r\n'; do
    run box_answer "1${nl}7${nl}l${nl}big.bin${nl}yes${nl}${nl}"
    if cmp -s big.bin big.orig; then ok; else bad "box_answer: big.bin was overwritten"; fi
done
# "r7FFF" on one line selects r and asks for the range, taking the next line.
run r_line '1\nr7FFF\nF\n\nq\n'
if grep -a -q 'read 15 bytes to buffer ( 0xF )' r_line.out; then ok; else bad "r_line: no read of 0..F"; fi

# Enter is the operator's confirmation: a last line without it is no answer. A burn's key or
# its range typed without Enter (then Ctrl-D) burns nothing; a name without Enter saves
# nothing; a chip file and the files on disk stay as they were.
head -c 128 /dev/urandom >small.bin
for typed in 'w' 'w\n7F' 'w\n7F\r'; do
    rm -f last.chip
    run last_range "1\na\nl\nsmall.bin\n\n$typed" --chip 27256 --chip-file last.chip --stats
    if [ "$(rc last_range)" = 1 ] && ! grep -a -q 'writing' last_range.out &&
        grep -q -x 'program pulses: 0 triggered, 0 effective, 0 without effect' last_range.err &&
        [ "$(tr -d '\377' <last.chip | wc -c)" = 0 ]; then
        ok
    else
        bad "last_range ($typed): burnt: $(grep -a 'pulses' last_range.err)"
    fi
done
printf 'old' >last.bin
rm -f file.rom
for name in 'last.bin' 'unconfirmed.bin'; do
    run last_name "1\ns\n$name"
    if [ "$(rc last_name)" = 1 ] && [ "$(cat last.bin)" = old ] && [ ! -e unconfirmed.bin ] &&
        [ ! -e file.rom ]; then ok; else bad "last_name ($name): saved: $(ls)"; fi
done

# ---- Stopping a burn -----------------------------------------------------------------------
head -c 524288 /dev/urandom >image.bin
# The chip file holds a prefix of the image and is erased after it: nothing burnt is lost
# and nothing is burnt where the run had not been.
burnt_prefix() {
    local chip=$1 k
    k=$(cmp image.bin "$chip" | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
    [ -n "$k" ] || return 0 # the whole image
    [ "$(tail -c +"$k" "$chip" | tr -d '\377' | wc -c)" = 0 ]
}
# start NAME ARGS...: vantrel-sim in the background (PID), its input a FIFO held open on fd 3.
start() {
    local name=$1
    shift
    rm -f "$name.fifo"
    mkfifo "$name.fifo"
    # A job of its own: a shell's plain background job would start with SIGINT ignored.
    set -m
    "$SIM" "$@" <"$name.fifo" >"$name.out" 2>"$name.err" &
    PID=$!
    set +m
    exec 3>"$name.fifo"
}
# finish: wait for it (a minute at most: a program that hangs is killed and fails the
# check that follows); STATUS is its exit status.
finish() {
    exec 4>&2 2>/dev/null # no "Hangup" or "Killed" notice from the shell
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
# burn NAME: a whole 27C040 burn, and a random wait once it runs.
burn() {
    start "$1" --chip 27040 --chip-file "$1.chip" --stats
    printf '1\ne\nl\nimage.bin\n\nw\n0\n' >&3
    for _ in $(seq 200); do
        grep -a -q 'writing' "$1.out" && break
        sleep 0.05
    done
    sleep "0.$((RANDOM % 10))$((RANDOM % 10))"
}
idle='board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V'
for sig in INT TERM HUP; do
    burn "$sig"
    kill -"$sig" "$PID"
    finish
    # The shell sees the signal's own end: 128 + its number.
    want=$((128 + $(kill -l "$sig")))
    if [ "$STATUS" = "$want" ]; then ok; else bad "$sig: status $STATUS, wanted $want"; fi
    if grep -q -x "$idle" "$sig.err"; then ok; else bad "$sig: $(grep 'at exit' "$sig.err")"; fi
    if grep -q -x 'hazards: 0' "$sig.err" && grep -q -x 'protocol violations: 0' "$sig.err"; then
        ok
    else
        bad "$sig: hazards or violations: $(cat "$sig.err")"
    fi
    if ! grep -a -q Goodbye "$sig.out"; then ok; else bad "$sig: went on to its normal end"; fi
    if burnt_prefix "$sig.chip"; then ok; else bad "$sig: chip file is not the burnt prefix"; fi
done

# SIGKILL cannot be caught: the chip file still holds every byte burnt before it.
burn KILL
kill -KILL "$PID"
finish
if burnt_prefix KILL.chip && [ "$(head -c 4096 KILL.chip | tr -d '\377' | wc -c)" -gt 0 ]; then
    ok
else
    bad "KILL: chip file is not the burnt prefix"
fi

# A console that goes away (the reader of the screen ends) ends the program as the end of
# input does, after the clean-up: status 1, chip idle. The reader stops some 100 counter
# updates into the burn (the screen up to "writing..." is as long as in the runs above).
upto=$(grep -a -b -o 'writing\.\.\.' INT.out | head -1 | cut -d: -f1)
rm -f PIPE.fifo
mkfifo PIPE.fifo
set -m
"$SIM" --chip 27040 --chip-file PIPE.chip --stats <PIPE.fifo 2>PIPE.err \
    > >(head -c $((upto + 600)) >/dev/null) &
PID=$!
set +m
exec 3>PIPE.fifo
printf '1\ne\nl\nimage.bin\n\nw\n0\n' >&3
exec 3>&- # the burn needs no more input; a box reached by mistake then ends the program
finish
if [ "$STATUS" = 1 ]; then ok; else bad "PIPE: status $STATUS"; fi
if grep -q -x "$idle" PIPE.err; then ok; else bad "PIPE: $(grep 'at exit' PIPE.err)"; fi
if burnt_prefix PIPE.chip && [ "$(head -c 4096 PIPE.chip | tr -d '\377' | wc -c)" -gt 0 ]; then
    ok
else
    bad "PIPE: chip file is not the burnt prefix"
fi

# At a prompt or a box a signal ends the program at once and nothing reaches the board
# beyond the detection and its rest state (one IC4 transfer);
# a signal ignored from the start (nohup, a plain background job) stays ignored.
for at in menu box; do
    start "$at" --stats
    [ "$at" = menu ] && printf '1\n' >&3 || printf '1\nl\nnothing.bin\n' >&3
    for _ in $(seq 100); do
        grep -a -q 'select> \|press Enter' "$at.out" && break
        sleep 0.05
    done
    sleep 0.2
    kill -INT "$PID"
    finish
    if [ "$STATUS" = 130 ]; then ok; else bad "$at: status $STATUS"; fi
    if grep -q -x 'transfers: address register 0, IC5 0, IC4 1' "$at.err"; then ok; else bad "$at: $(grep transfers "$at.err")"; fi
done
(printf '1\n'; sleep 1; printf 'q\n') | nohup "$SIM" >nohup.out 2>/dev/null &
p=$!
sleep 0.5
kill -HUP "$p"
{ wait "$p"; } 2>/dev/null
status=$?
if [ "$status" = 1 ] && grep -a -q Goodbye nohup.out; then ok; else bad "nohup: status $status"; fi

tally_end
