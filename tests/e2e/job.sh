#!/usr/bin/env bash
# One command line per job: burn, verify, read and blank-check on the model through the
# command line, with Intel HEX and S-record images checked against srec_cat, the menu's own
# runs on the wire, and the exit status of every outcome.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
SIM=$(realpath "$SIM")
cd "$TMP" || exit 1
command -v srec_cat >/dev/null || { echo "FAIL srec_cat (package srecord) is missing"; exit 1; }

# job NAME ARGS...: a job; its output in NAME.out, NAME.err, its status in NAME.rc.
job() {
    local name=$1
    shift
    timeout 120 "$SIM" "$@" >"$name.out" 2>"$name.err" </dev/null
    echo $? >"$name.rc"
}
# expect NAME STATUS OUTPUT: the job's status and its standard output, exactly.
expect() {
    if [ "$(cat "$1.rc")" = "$2" ] && [ "$(cat "$1.out")" = "$3" ]; then
        ok
    else
        bad "$1: status $(cat "$1.rc") (wanted $2): $(cat "$1.out" "$1.err")"
    fi
}

# ---- A real-sized job, HEX in and S-record out ---------------------------------------------
# 32 KiB for a 27C256 with a gap at 0x4000..0x4FFF, as a compiler leaves it.
head -c 32768 /dev/urandom >fw.bin
srec_cat fw.bin -Binary -exclude 0x4000 0x5000 -o fw.hex -Intel
srec_cat fw.hex -Intel -fill 0xFF 0 0x8000 -o want.bin -Binary
job burn --chip 27256 --chip-file chip.bin -t 27C256 --blank --write fw.hex --verify fw.hex --read out.s19
crc=$(python3 -c 'import sys,zlib; d=open("want.bin","rb").read(); print("0x%04X, CRC-32 0x%08X" % (sum(d) & 0xFFFF, zlib.crc32(d)))')
expect burn 0 "blank: ok
write: 32768 bytes ok
verify: 32768 bytes ok
read: 32768 bytes, sum $crc"
if cmp -s chip.bin want.bin; then ok; else bad "burn: the chip does not hold the image with 0xFF in its gap"; fi
srec_cat out.s19 -Motorola -o back.bin -Binary 2>srec.err
if cmp -s back.bin want.bin && [ ! -s srec.err ]; then ok; else bad "burn: out.s19 is not the chip: $(cat srec.err)"; fi
if [ ! -s burn.err ]; then ok; else bad "burn: standard error: $(cat burn.err)"; fi

# Above 64 KiB, with an offset: a 27C010 that the target sees at 0x80000, HEX with extended
# linear address records both ways, through standard input and output.
head -c 131072 /dev/urandom >big.bin
srec_cat big.bin -Binary -offset 0x80000 -o big.hex -Intel
timeout 120 "$SIM" --chip 27010 --chip-file big.chip -t 27C010 --offset 0x80000 --write - \
    --format ihex <big.hex >big.out 2>big.err
echo $? >big.rc
timeout 120 "$SIM" --chip 27010 --chip-file big.chip -t 27010 --offset 0x80000 --format ihex --read - <big.hex >read.hex 2>big_read.err
expect big 0 "write: 131072 bytes ok"
srec_cat read.hex -Intel -offset -0x80000 -o big.back -Binary
if cmp -s big.chip big.bin && cmp -s big.back big.bin && grep -q '^:02000004000[89]' read.hex; then
    ok
else
    bad "big: the chip or its HEX read-back differs"
fi
if grep -q -x 'read: 131072 bytes, sum 0x...., CRC-32 0x........' big_read.err; then ok; else bad "big: result line not on standard error: $(cat big_read.err)"; fi

# ---- The menu's own runs ---------------------------------------------------------------
# A job's wire is the menu's with the same settings keys, access for access.
head -c 300 fw.bin >small.bin
printf 'a\n0\n3\nl\nsmall.bin\n\nw\n0\n\nv\n0\n\nq\n' |
    timeout 60 "$SIM" --chip 27256 --port 0x378 --trace menu.vcd >/dev/null
job wire --chip 27256 -t 27C256 --write small.bin --verify small.bin --trace job.vcd
if cmp -s <(tail -n +4 menu.vcd) <(tail -n +4 job.vcd); then ok; else bad "wire: the job's trace differs from the menu's"; fi

# ---- Every outcome and its status -------------------------------------------------------
printf '\x00\x11\x22' >three.bin
job not_blank --chip 27256 --chip-file chip.bin -t 27C256 --blank
expect not_blank 1 "blank: not blank at 0x0000: chip 0x$(od -An -tx1 -N1 chip.bin | tr -d ' ' | tr a-f A-F)"
job mismatch --chip 27256 --chip-file chip.bin -t 27C256 --verify fw.bin --range 5FFF
n=$(cmp -l fw.bin want.bin | awk '$1 <= 24576' | wc -l)
first=$(cmp fw.bin want.bin | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
expect mismatch 1 "$(printf 'verify: mismatch at 0x%04X: chip 0xFF, image 0x%02X, %d bytes differ' \
    $((first - 1)) "$(od -An -tu1 -j $((first - 1)) -N1 fw.bin)" "$n")"
job stuck --chip 2764 -t 2764 --vpp 21 --write three.bin --fault stuck-cell:1:0x00
expect stuck 1 "write: error at 0x0001: chip 0x00, image 0x11 after 10 pulses"
job timeout --chip 27C64 -t 27C64 --write three.bin --fault monoflop-stuck-1
expect timeout 1 "write: timeout at 0x0000: the board's pulse never ended"

# Bad usage, unusable images, outputs that cannot be written, actions the type does not
# allow: status 2, and the board hears nothing at all (a bad command line does not even set
# up the bench): no write on the port, the chip file still erased.
printf ':0400000001020304F3\n:00000001FF\n' >badsum.hex
printf 'S1130000000102030405060708090A0B0C0D0E0F74\n' >cut.s19
printf ':02000004FFFFFC\n:10FFF800000102030405060708090A0B0C0D0E0F81\n:00000001FF\n' >past4g.hex
head -c 32768 /dev/zero | tr '\0' '\377' >erased.chip
mkdir adir
while IFS='|' read -r name args message; do
    cp erased.chip pre.chip
    ln -f pre.chip pre-link.chip
    # shellcheck disable=SC2086
    job "$name" --chip 27256 --chip-file pre.chip --stats $args
    if [ "$(cat "$name.rc")" = 2 ] && [ ! -s "$name.out" ] && grep -q -F -- "$message" "$name.err" &&
        cmp -s pre.chip erased.chip &&
        { ! grep -q statistics "$name.err" ||
            { grep -q -x 'transfers: address register 0, IC5 0, IC4 0' "$name.err" &&
                grep -q -x 'port accesses: [0-9]* (reads [0-9]*, writes 0)' "$name.err"; }; }; then
        ok
    else
        bad "$name: status $(cat "$name.rc"): $(cat "$name.out" "$name.err")"
    fi
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
EOF
if [ ! -e x.hex ] && [ ! -e x.s19 ] && [ ! -e x.bin ] && [ ! -e nodir ]; then ok; else bad "a refused job left a file: $(ls)"; fi

# Standard output that cannot take the image or a result line: status 2, never 0. A closed
# one is known before the board hears anything.
timeout 60 "$SIM" --chip 27256 --chip-file pre.chip --stats -t 27C256 --read - >&- \
    2>stdout_closed.err </dev/null
echo $? >stdout_closed.rc
if [ "$(cat stdout_closed.rc)" = 2 ] && grep -q -F -- '--read -: standard output is closed' stdout_closed.err &&
    grep -q -x 'transfers: address register 0, IC5 0, IC4 0' stdout_closed.err; then
    ok
else
    bad "stdout_closed: status $(cat stdout_closed.rc): $(cat stdout_closed.err)"
fi
for what in '--read -' '--blank'; do
    # shellcheck disable=SC2086
    timeout 60 "$SIM" --chip 2716 -t 2716 $what >/dev/full 2>full.err </dev/null
    rc=$?
    if [ "$rc" = 2 ] && grep -q 'No space left on device' full.err; then ok; else bad "full ($what): status $rc: $(cat full.err)"; fi
done

# No board: status 3.
job absent --board-port none -t 27C256 --blank
if [ "$(cat absent.rc)" = 3 ] && grep -q 'no Vantrel II answers on the port 0x378' absent.err; then ok; else bad "absent: $(cat absent.rc absent.err)"; fi
job elsewhere --board-port 0x278 -t 27C256 --port 0x378 --blank
if [ "$(cat elsewhere.rc)" = 3 ]; then ok; else bad "elsewhere: status $(cat elsewhere.rc)"; fi

# A signal ends a job as it ends the menu program: the chip idle, the signal's own status.
head -c 524288 /dev/urandom >k512.bin
set -m
"$SIM" --chip 27040 --chip-file sig.chip -t 27C040 --write k512.bin --stats >sig.out 2>sig.err &
pid=$!
set +m
sleep 0.5
kill -TERM "$pid"
{ wait "$pid"; } 2>/dev/null
rc=$?
if [ "$rc" = 143 ] && grep -q -x 'board at exit: IC4 0x.., programming voltage off, chip deselected, supply 5 V' sig.err; then
    ok
else
    bad "signal: status $rc: $(grep 'at exit' sig.err)"
fi

# ended PID: waits for PID, a minute at most (a program that hangs is killed and fails the
# check that follows); rc is its status.
ended() {
    local waited=0
    while kill -0 "$1" 2>/dev/null && [ "$waited" -lt 600 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$1" 2>/dev/null
    { wait "$1"; } 2>/dev/null
    rc=$?
}

# A read stopped by a signal leaves an existing output file as it was.
printf 'old' >kept.s19
set -m
"$SIM" --chip 27040 --chip-file sig.chip -t 27C040 --read kept.s19 >sigr.out 2>sigr.err &
pid=$!
set +m
sleep 0.3
kill -TERM "$pid"
ended "$pid"
if [ "$rc" = 143 ] && [ "$(cat kept.s19)" = old ]; then ok; else bad "signal during read: status $rc, kept.s19: $(head -c 40 kept.s19)"; fi

# A signal while the job waits for its image on a FIFO: the signal's own status, nothing on
# the board.
mkfifo feed
exec 5<>feed # a writer that never sends more than the start of a record
printf ':0400' >&5
set -m
"$SIM" --chip 27256 --chip-file fifo.chip --stats -t 27C256 --format ihex --write - <feed >fifo.out 2>fifo.err &
pid=$!
set +m
sleep 0.3
kill -TERM "$pid"
ended "$pid"
exec 5>&-
if [ "$rc" = 143 ] && grep -q -x 'transfers: address register 0, IC5 0, IC4 0' fifo.err &&
    [ ! -s fifo.out ]; then
    ok
else
    bad "fifo: status $rc: $(cat fifo.out fifo.err)"
fi

tally_end
