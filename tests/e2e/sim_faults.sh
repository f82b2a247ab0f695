#!/usr/bin/env bash
# vantrel-sim --fault and --pulse: each fault of the board or the chip shows the box the
# program gives for it in a scripted session, and the healthy bench shows none of them.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# expect_text TEXT: the session's screen holds a box whose text line starts with TEXT.
expect_text() {
    expect_has "| $1 "
}

# Port 0x378, type 27C64, write 0..0xFF of the zeroed buffer, Enter on the box, exit.
WRITE='1\n8\nw\nff\n\nq\n'

run healthy "$WRITE" --chip 27C64
expect_text "write ready: FF Bytes"
expect_status 1
expect_lacks "| Vantrel not found"

# The monoflop never returns to rest: the pulse times out at the first byte.
run mf1 "$WRITE" --chip 27C64 --fault monoflop-stuck-1
expect_text "timeout writing at adr:0"
expect_status 1

# The monoflop never starts: no pulse reaches the chip, ten tries, the byte stays erased.
run mf0 "$WRITE" --chip 27C64 --fault monoflop-stuck-0
expect_text "write-error at adr:0   read: FF   buffer: 0"

# A pulse longer than the program's end wait looks like a stuck monoflop...
run longpulse "$WRITE" --chip 27C64 --pulse 20000
expect_text "timeout writing at adr:0"
# ... and a short one works.
run shortpulse "$WRITE" --chip 27C64 --pulse 3
expect_text "write ready: FF Bytes"

# A stuck cell reads its value whatever is programmed.
run stuck "$WRITE" --chip 27C64 --fault stuck-cell:0x10:0x5A
expect_text "write-error at adr:10   read: 5A   buffer: 0"
run stuckdec "$WRITE" --chip 27C64 --fault stuck-cell:200:255
expect_text "write-error at adr:C8   read: FF   buffer: 0"

# A weak cell that needs more than the program's ten tries fails; one that needs five is
# programmed in the end.
run weak11 "$WRITE" --chip 27C64 --fault weak-cell:0x20:11
expect_text "write-error at adr:20   read: FF   buffer: 0"
run weak5 "$WRITE" --chip 27C64 --fault weak-cell:0x20:5 --stats
expect_text "write ready: FF Bytes"
# 256 cells plus four extra pulses.
check grep -q -x "program pulses: 260 triggered, 260 effective, 0 without effect" weak5.err ||
    fail "256 cells plus four extra pulses expected: $(cat weak5.err)"

# Every cell weak beyond ten pulses: the first byte fails.
run allweak "$WRITE" --chip 27C64 --fault weak-cells:100:40:7
expect_text "write-error at adr:0   read: FF   buffer: 0"
# A share of weak cells within the tries: the run succeeds with more pulses than cells, the
# same number for the same seed and another one for another seed.
run someweak1 "$WRITE" --chip 27C64 --fault weak-cells:10:4:7 --stats
expect_text "write ready: FF Bytes"
run someweak2 "$WRITE" --chip 27C64 --fault weak-cells:10:4:7 --stats
run someweak3 "$WRITE" --chip 27C64 --fault weak-cells:10:4:8 --stats
p1=$(grep '^program pulses' someweak1.err)
p2=$(grep '^program pulses' someweak2.err)
p3=$(grep '^program pulses' someweak3.err)
n1=$(echo "$p1" | sed -E 's/^program pulses: ([0-9]+) .*/\1/')
check [ -n "$p1" ] && [ "$p1" = "$p2" ] && [ "$p1" != "$p3" ] && [ "$n1" -gt 256 ] ||
    fail "weak-cells: pulses '$p1' / '$p2' (same seed) / '$p3' (other seed)"

# The read-back line stuck either way fails the detection on the chosen port.
run rb0 '1\n\nq\n' --fault readback-stuck-0
expect_text "Vantrel not found at LPT (0x378)"
run rb1 '1\n\nq\n' --fault readback-stuck-1
expect_text "Vantrel not found at LPT (0x378)"

# ---- Faults of an unsure read: a job reads a 2764 of random bytes, 0x3C at 0x110 ---------
# Each fault gives its note (status 0, the file written) or its unstable report (status 1,
# an existing file kept as it was).
head -c 8192 /dev/urandom >rand.bin
printf '\x3C' | dd of=rand.bin bs=1 seek=272 conv=notrunc 2>/dev/null
CHIP="--chip 2764 --chip-file rand.bin"
FLAKY="$CHIP --fault flaky-cell:0x110:0x08"
# NAME|BENCH AND JOB|STATUS|RESULT LINE (HASHES: those of the file written)|A LINE OF STDERR
while IFS='|' read -r name args status line err; do
    printf 'old' >"$name.bin"
    # shellcheck disable=SC2086
    job "$name" -t 2764 $args --read "$name.bin"
    [ "$status" = 0 ] && line=${line/HASHES/$(hashes_of "$name.bin")}
    check [ "$STATUS" = "$status" ] && [ "$(cat "$name.out")" = "$line" ] &&
        grep -q -x -F "vantrel-sim: $err" "$name.err" &&
        { [ "$status" = 0 ] || [ "$(cat "$name.bin")" = old ]; } ||
        fail "status $STATUS: $(cat "$name.out" "$name.err")"
done <<EOF
open_a0|$CHIP --fault open-address:0|0|read: 8192 bytes, 2 reads agree, HASHES|note: address line A0 changes nothing (each cell equals the one with A0 flipped): pin A0 without contact
open_a12|$CHIP --fault open-address:12|0|read: 8192 bytes, 2 reads agree, HASHES|note: the image repeats every 0x1000 bytes: a 2732 read as a larger type, or address line A12 without contact
open_d7|$CHIP --fault open-data:7:1|0|read: 8192 bytes, 2 reads agree, HASHES|note: data bit D7 is 1 in every cell: data pin D7 without contact, or data that never uses it
no_chip|--no-chip|0|read: 8192 bytes, 2 reads agree, HASHES|note: every cell is 0xFF: an erased chip, or no chip in the socket
flaky|$FLAKY:50|1|read: unstable: 1 cell differs between 2 reads, first at 0x0110 (0x34, 0x3C)|unstable cell 0x0110: read 0x34, 0x3C: bit D3 changes
tie|$FLAKY:50 --reads 4 --majority|1|read: unstable: 1 cell differs between 4 reads, first at 0x0110 (0x34, 0x3C, 0x34, 0x3C), 1 cell without a majority|unstable cell 0x0110: read 0x34, 0x3C, 0x34, 0x3C: bit D3 changes
majority|$FLAKY:40 --reads 5 --majority|0|read: 8192 bytes, majority of 5 reads, HASHES|warning: read: unstable: 1 cell differs between 5 reads, first at 0x0110 (0x3C, 0x34, 0x3C, 0x34, 0x3C): the bitwise majority is written
EOF
check cmp -s majority.bin rand.bin || fail "the majority of five reads is not the chip"
check [ -z "$(od -An -v -w2 -tx1 open_a0.bin | awk '$1 != $2')" ] ||
    fail "open-address:0: cell 2k+1 must read as cell 2k"
check [ -z "$(od -An -v -w1 -tx1 open_d7.bin | grep '^ [0-7]')" ] || fail "open-data:7:1: D7 must read 1"

finish
