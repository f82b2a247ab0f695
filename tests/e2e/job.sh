#!/usr/bin/env bash
# One command line per job: burn, verify, read and blank-check on the model through the
# command line, the menu's own runs on the wire, and the exit status of every outcome; a
# signal ends a job at every stage. (HEX and S-record images against srec_cat:
# srecord_jobs.sh.)
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# expect_job STATUS OUTPUT: the job's status and its standard output, exactly.
expect_job() {
    check [ "$STATUS" = "$1" ] && [ "$(cat "$SESSION.out")" = "$2" ] ||
        fail "status $STATUS (wanted $1): $(cat "$SESSION.out" "$SESSION.err")"
}

# A 27C256 that holds 32 KiB with a gap of erased cells at 0x4000..0x4FFF, as a compiler
# leaves it.
head -c 32768 /dev/urandom >fw.bin
{ head -c 16384 fw.bin; head -c 4096 /dev/zero | tr '\0' '\377'; tail -c +20481 fw.bin; } >want.bin
job burn --chip 27256 --chip-file chip.bin -t 27C256 --blank --write want.bin --verify want.bin \
    --read out.bin
expect_job 0 "blank: ok
$(burn_line want.bin)
verify: 32768 bytes ok, $(hashes_of want.bin)
read: 32768 bytes, 2 reads agree, $(hashes_of want.bin)"
check cmp -s chip.bin want.bin && cmp -s out.bin want.bin ||
    fail "the chip or its read-back is not the image with its gap"
check [ ! -s burn.err ] || fail "standard error: $(cat burn.err)"

# --inspect: the sums of an image file, with no board (no chip file made, no -t needed). A
# HEX image is as long as its highest address; with -t the chip's size, 0xFF where it has
# nothing, as a read of the chip burnt with it gives.
job hex --chip 27256 --chip-file chip.bin -t 27C256 --range 3FFF --reads 1 --read part.hex
head -c 16384 want.bin >part.bin
{ cat part.bin; head -c 16384 /dev/zero | tr '\0' '\377'; } >part32.bin
while IFS='|' read -r name args file; do
    # shellcheck disable=SC2086
    job "$name" --chip-file none.chip --stats $args
    expect_job 0 "inspect: $(stat -c %s "$file") bytes, $(hashes_of "$file")"
done <<'EOF'
inspect_raw|--inspect want.bin|want.bin
inspect_hex|--inspect part.hex|part.bin
inspect_hex_t|-t 27C256 --inspect part.hex|part32.bin
EOF
expect_no_file none.chip

# ---- The menu's own runs ---------------------------------------------------------------
# A job's wire is the menu's with the same settings keys, access for access: a read, then a
# burn of every cell that differs (here all: no byte is 0xFF).
head -c 300 fw.bin | tr '\377' '\376' >small.bin
printf 'a\n0\n3\nl\nsmall.bin\n\nr\n0\n\nl\nsmall.bin\n\nw\n0\n\nv\n0\n\nq\n' |
    timeout 60 "$SIM" --chip 27256 --port 0x378 --trace menu.vcd >/dev/null
job wire --chip 27256 -t 27C256 --write small.bin --verify small.bin --trace job.vcd
check cmp -s <(tail -n +4 menu.vcd) <(tail -n +4 job.vcd) || fail "the job's trace differs from the menu's"

# ---- Every outcome and its status -------------------------------------------------------
printf '\x00\x11\x22' >three.bin
job not_blank --chip 27256 --chip-file chip.bin -t 27C256 --blank
expect_job 1 "blank: not blank at 0x0000: chip 0x$(od -An -tx1 -N1 chip.bin | tr -d ' ' | tr a-f A-F)"
job mismatch --chip 27256 --chip-file chip.bin -t 27C256 --verify fw.bin --range 5FFF
n=$(cmp -l fw.bin want.bin | awk '$1 <= 24576' | wc -l)
first=$(cmp fw.bin want.bin | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
expect_job 1 "$(printf 'verify: mismatch at 0x%04X: chip 0xFF, image 0x%02X, %d bytes differ' \
    $((first - 1)) "$(od -An -tu1 -j $((first - 1)) -N1 fw.bin)" "$n")"
job weak --chip 2764 -t 2764 --vpp 21 --write three.bin --fault weak-cell:1:11
expect_job 1 "write: error at 0x0001: chip 0xFF, image 0x11 after 10 pulses"
job timeout --chip 27C64 -t 27C64 --write three.bin --fault monoflop-stuck-1
expect_job 1 "write: timeout at 0x0000: the board's pulse never ended"
# A used chip: no programming voltage ever, the chip as it was. A verify lists and sums up the
# differences (at 12.75 V naming the NMOS 2764); then a burn pulses the one cell that differs.
bytes_file used.chip 32768 0
job used --chip 27256 --chip-file used.chip --stats -t 27C256 --write three.bin --trace used.vcd
expect_job 1 "write: needs erasing: 2 cells need a 0 bit raised, first at 0x0001 (chip 0x00, image 0x11)"
vpp=$(sed -n 's/^$var wire 1 \(.*\) ic4\[1\] $end$/\1/p' used.vcd)
check grep -q -x 'program pulses: 0 triggered, 0 effective, 0 without effect' used.err &&
    ! grep -q -x -F "1$vpp" used.vcd && [ "$(tr -d '\0' <used.chip | wc -c)" = 0 ] || fail "$(cat used.err)"
{ printf '\377'; head -c 8191 /dev/zero; } >mixed.chip
job mixed --chip 2764 --chip-file mixed.chip -t 2764 --verify three.bin
expect_job 1 "verify: mismatch at 0x0000: chip 0xFF, image 0x00, 3 bytes differ"
check [ "$(cat mixed.err)" = "vantrel-sim: verify: 0x0000: chip 0xFF, image 0x00
vantrel-sim: verify: 0x0001: chip 0x00, image 0x11
vantrel-sim: verify: 0x0002: chip 0x00, image 0x22
vantrel-sim: verify: 1 cell has bits still 1 where the image has 0: not burnt (too low a programming voltage, too few pulses, a weak chip)
vantrel-sim: verify: a 2764 programs at 21 V, above the 12.75 V in force: -p 2764 gives it
vantrel-sim: verify: 2 cells have bits at 0 where the image has 1: the chip needs erasing, or holds another image" ] ||
    fail "$(cat mixed.err)"
head -c 100 /dev/zero >zeros.bin
job patch --chip 2764 --chip-file mixed.chip --stats -p 2764 --write zeros.bin
expect_job 0 "write: 100 bytes ok, 1 burnt, 99 already right"
check grep -q -x 'program pulses: 1 triggered, 1 effective, 0 without effect' patch.err &&
    [ "$(tr -d '\0' <mixed.chip | wc -c)" = 0 ] || fail "$(cat patch.err)"

# Bad usage, unusable images, outputs that cannot be written, actions the type does not
# allow: status 2, and the board hears nothing at all (a bad command line does not even set
# up the bench): no write on the port, the chip file still erased.
printf ':0400000001020304F3\n:00000001FF\n' >badsum.hex
printf 'S1130000000102030405060708090A0B0C0D0E0F74\n' >cut.s19
printf ':02000004FFFFFC\n:10FFF800000102030405060708090A0B0C0D0E0F81\n:00000001FF\n' >past4g.hex
head -c 32768 /dev/zero | tr '\0' '\377' >erased.chip
mkdir adir
: >empty.bin
while IFS='|' read -r name args message; do
    cp erased.chip pre.chip
    ln -f pre.chip pre-link.chip
    # shellcheck disable=SC2086
    job "$name" --chip 27256 --chip-file pre.chip --stats $args
    check [ "$STATUS" = 2 ] && [ ! -s "$name.out" ] && grep -q -F -- "$message" "$name.err" &&
        cmp -s pre.chip erased.chip &&
        { ! grep -q statistics "$name.err" ||
            { grep -q -x 'transfers: address register 0, IC5 0, IC4 0' "$name.err" &&
                grep -q -x 'port accesses: [0-9]* (reads [0-9]*, writes 0)' "$name.err"; }; } ||
        fail "status $STATUS: $(cat "$name.out" "$name.err")"
done <<'EOF'
no_type|--blank|a job needs the EPROM type (-t TYPE)
bad_type|-t 27C999 --blank|-t '27C999': unknown EPROM type
no_action|-t 27C256|a job needs an action
bad_vpp|-t 27C256 --vpp 13 --blank|--vpp '13'
range_beyond|-t 27C256 --range 8000 --blank|--range 0x8000: a 27256 has 0x1 to 0x7FFF
image_beyond|-t 2716 --verify fw.bin|fw.bin: address 0x0800 is beyond the chip's last address 0x07FF
bad_checksum|-t 27C256 --write badsum.hex|badsum.hex:1: bad checksum 0xF3, expected 0xF2
no_file|-t 27C256 --verify nothing.hex|can't open nothing.hex: No such file or directory
missing_dir|-t 27C256 --write three.bin --read nodir/x.bin|can't create nodir/x.bin: No such file or directory
dir_output|-t 27C256 --blank --read adir|can't create adir: Is a directory
chip_file_output|-t 27C256 --blank --read pre.chip|can't create pre.chip: Device or resource busy
chip_file_link|-t 27C256 --read pre-link.chip|can't create pre-link.chip: Device or resource busy
beyond_format|-t 27C512 --offset FFFF8000 --read x.hex|x.hex: address 0x100007FFF does not fit the ihex format
beyond_srec|-t 27C256 --offset FFFFFFFF --range 1 --read x.s19|x.s19: address 0x100000000 does not fit the srec format
write_2716|-t 2716 --blank --write three.bin|--write: a 2716 cannot be programmed on this board
write_2708|-t 2708 --write three.bin|--write: a 2708 cannot be programmed on this board
raw_offset|-t 27C256 --offset 8000 --write three.bin|--offset 0x8000: three.bin is a raw image, which has no addresses
raw_offset_read|-t 27C256 --offset 8000 --read x.bin|--offset 0x8000: x.bin is a raw image
srec_cut|-t 27C256 --write cut.s19|cut.s19:1: no end record (S7, S8 or S9) nor a count (S5 or S6) after the data
hex_past_4g|-t 27C256 --offset FFFFFF00 --write past4g.hex|past4g.hex:2: address 0x100000000 is at or past 4 GiB
inspect_dir|--inspect adir|can't open adir: Is a directory
inspect_empty|-t 27C256 --blank --inspect empty.bin|empty.bin: no data in the image
inspect_missing|--inspect nothing.bin --inspect want.bin|can't open nothing.bin: No such file or directory
EOF
check [ ! -e x.hex ] && [ ! -e x.s19 ] && [ ! -e x.bin ] && [ ! -e nodir ] ||
    fail "a refused job left a file: $(ls)"

# Standard output that cannot take the image or a result line: status 2, never 0. A closed
# one is known before the board hears anything.
SESSION=stdout_closed
timeout 60 "$SIM" --chip 27256 --chip-file pre.chip --stats -t 27C256 --read - >&- \
    2>stdout_closed.err </dev/null
STATUS=$?
expect_status 2
expect_err '--read -: standard output is closed'
check grep -q -x 'transfers: address register 0, IC5 0, IC4 0' stdout_closed.err ||
    fail "$(cat stdout_closed.err)"
for what in '--read -' '--blank'; do
    SESSION="full ($what)"
    # shellcheck disable=SC2086
    timeout 60 "$SIM" --chip 2716 -t 2716 $what >/dev/full 2>full.err </dev/null
    STATUS=$?
    expect_status 2
    check grep -q 'No space left on device' full.err || fail "$(cat full.err)"
done

# No board: status 3.
job absent --board-port none -t 27C256 --blank
expect_status 3
expect_err 'no Vantrel II answers on the port 0x378'
job elsewhere --board-port 0x278 -t 27C256 --port 0x378 --blank
expect_status 3

# A signal ends a job as it ends the menu program: the chip idle, the signal's own status.
# Sent once the burn is under way: its first cells are burnt.
head -c 524288 /dev/urandom >k512.bin
start sig --chip 27040 --chip-file sig.chip -t 27C040 --write k512.bin --stats
check wait_for 60 burning sig.chip || fail "the burn did not start"
kill -TERM "$PID"
reap
expect_status 143
check grep -q -x 'board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V' sig.err ||
    fail "$(grep 'at exit' sig.err)"
expect_has "write: stopped at 0x"

# A read stopped by a signal leaves an existing output file as it was. Sent once the read is
# under way: the program has spent a fifth of a second of processor time, many times its
# start-up and a small part of the read (over a second at delay 4, where the quick walk
# takes a third of one at delay 2).
printf 'old' >kept.s19
start sigr --chip 27040 --chip-file sig.chip -t 27C040 --delay 4 --read kept.s19
check wait_for 60 busy_for "$PID" 20 || fail "the read did not start"
kill -TERM "$PID"
reap
expect_status 143
expect_has "read: stopped at 0x"
check [ "$(cat kept.s19)" = old ] || fail "kept.s19: $(head -c 40 kept.s19)"

# A read's image into a pipe nobody reads: the write waits on the full pipe with part of the
# image gone, and one signal ends the job all the same.
SESSION=pipe
mkfifo pipe.fifo
exec 6<>pipe.fifo # a reader that never reads
set -m
"$SIM" --chip 27040 -t 27C040 --read - >pipe.fifo 2>pipe.err &
PID=$!
set +m
check wait_for 60 writing_output "$PID" || fail "the job does not wait on the full pipe"
kill -TERM "$PID"
reap
exec 6>&-
expect_status 143

# A signal while the job waits for its image on a FIFO: the signal's own status, nothing on
# the board.
mkfifo feed
exec 5<>feed # a writer that never sends more than the start of a record
printf ':0400' >&5
SESSION=fifo
set -m
"$SIM" --chip 27256 --chip-file fifo.chip --stats -t 27C256 --format ihex --write - <feed >fifo.out 2>fifo.err &
PID=$!
set +m
check wait_for 10 waiting_for_input "$PID" || fail "the job does not wait for its image"
kill -TERM "$PID"
reap
exec 5>&-
expect_status 143
check grep -q -x 'transfers: address register 0, IC5 0, IC4 0' fifo.err && [ ! -s fifo.out ] ||
    fail "$(cat fifo.out fifo.err)"

finish
