#!/usr/bin/env bash
# As people type and as Unix stops programs: one answer a line whatever follows the key
# (blanks, CR LF, a word typed at a box), and a burn stopped by SIGINT, SIGTERM, SIGHUP,
# SIGKILL or a closed pipe at a random moment leaves the programming voltage off, the chip
# deselected and the chip file holding exactly the bytes burnt so far.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# ---- One answer a line ---------------------------------------------------------------------
# A blank after the key, and the same script with CR LF line ends: the save goes to new.bin.
for form in lf crlf; do
    rm -f new.bin file.rom
    script='1\ns \nnew.bin\n\nq\n'
    [ "$form" = crlf ] && script='1\r\ns \r\nnew.bin\r\n\r\nq\r\n'
    run "save_$form" "$script"
    expect_status 1
    check [ "$(stat -c %s new.bin 2>/dev/null)" = 65536 ] && [ ! -e file.rom ] ||
        fail "not saved to new.bin: $(ls)"
done
# "yes" typed at the box of a refused load is one answer, not the keys y, e and s.
head -c 70000 /dev/urandom >big.bin
cp big.bin big.orig
for nl in '\n' '\r\n'; do
    run box_answer "1${nl}7${nl}l${nl}big.bin${nl}yes${nl}${nl}"
    expect_file_same big.bin big.orig
done
# "r7FFF" on one line selects r and asks for the range, taking the next line.
run r_line '1\nr7FFF\nF\n\nq\n'
expect_has 'read 15 bytes to buffer ( 0xF )'

# Enter is the operator's confirmation: a last line without it is no answer. A burn's key or
# its range typed without Enter (then Ctrl-D) burns nothing; a name without Enter saves
# nothing; a chip file and the files on disk stay as they were.
head -c 128 /dev/urandom >small.bin
for typed in 'w' 'w\n7F' 'w\n7F\r'; do
    rm -f last.chip
    run last_range "1\na\nl\nsmall.bin\n\n$typed" --chip 27256 --chip-file last.chip --stats
    expect_status 1
    expect_lacks 'writing'
    check grep -q -x 'program pulses: 0 triggered, 0 effective, 0 without effect' last_range.err &&
        [ "$(burnt_cells last.chip)" = 0 ] || fail "($typed) burnt: $(grep -a 'pulses' last_range.err)"
done
printf 'old' >last.bin
rm -f file.rom
for name in 'last.bin' 'unconfirmed.bin'; do
    run last_name "1\ns\n$name"
    expect_status 1
    check [ "$(cat last.bin)" = old ] && [ ! -e unconfirmed.bin ] && [ ! -e file.rom ] ||
        fail "($name) saved: $(ls)"
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
# burn NAME: a whole 27C040 burn from the menu, and a random wait of up to a second once it
# runs.
burn() {
    start "$1" --chip 27040 --chip-file "$1.chip" --stats
    printf '1\ne\nl\nimage.bin\n\nw\n0\n' >&3
    check wait_for 10 grep -a -q 'writing' "$1.out" || fail "the burn did not start"
    sleep "$(printf '0.%02d' $((RANDOM % 100)))"
}
idle='board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V'
for sig in INT TERM HUP; do
    burn "$sig"
    kill -"$sig" "$PID"
    reap
    # The shell sees the signal's own end: 128 + its number.
    expect_status $((128 + $(kill -l "$sig")))
    check grep -q -x "$idle" "$sig.err" || fail "$(grep 'at exit' "$sig.err")"
    expect_clean_wire
    expect_lacks Goodbye
    check burnt_prefix "$sig.chip" || fail "chip file is not the burnt prefix"
done

# SIGKILL cannot be caught: the chip file still holds every byte burnt before it.
burn KILL
kill -KILL "$PID"
reap
check burnt_prefix KILL.chip && [ "$(head -c 4096 KILL.chip | tr -d '\377' | wc -c)" -gt 0 ] ||
    fail "chip file is not the burnt prefix"

# A console that goes away (the reader of the screen ends) ends the program as the end of
# input does, after the clean-up: status 1, chip idle. The reader stops some 100 counter
# updates into the burn (the screen up to "writing..." is as long as in the runs above).
upto=$(grep -a -b -o 'writing\.\.\.' INT.out | head -1 | cut -d: -f1)
SESSION=PIPE
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
reap
expect_status 1
check grep -q -x "$idle" PIPE.err || fail "$(grep 'at exit' PIPE.err)"
check burnt_prefix PIPE.chip && [ "$(head -c 4096 PIPE.chip | tr -d '\377' | wc -c)" -gt 0 ] ||
    fail "chip file is not the burnt prefix"

# At a prompt or a box a signal ends the program at once and nothing reaches the board
# beyond the detection and its rest state (one IC4 transfer);
# a signal ignored from the start (nohup, a plain background job) stays ignored.
for at in menu box; do
    start "$at" --stats
    [ "$at" = menu ] && printf '1\n' >&3 || printf '1\nl\nnothing.bin\n' >&3
    check wait_for 10 grep -a -q 'select> \|press Enter' "$at.out" &&
        wait_for 10 waiting_for_input "$PID" || fail "not waiting at the $at"
    kill -INT "$PID"
    reap
    expect_status 130
    check grep -q -x 'transfers: address register 0, IC5 0, IC4 1' "$at.err" ||
        fail "$(grep transfers "$at.err")"
done
SESSION=nohup
rm -f nohup.fifo && mkfifo nohup.fifo
nohup "$SIM" <nohup.fifo >nohup.out 2>/dev/null &
PID=$!
exec 3>nohup.fifo
printf '1\n' >&3
check wait_for 10 grep -a -q 'select> ' nohup.out && wait_for 10 waiting_for_input "$PID" ||
    fail "not waiting at the menu"
kill -HUP "$PID"
printf 'q\n' >&3
reap
expect_status 1
expect_has Goodbye

finish
