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

# ---- Faults of an unsure read: a job reads a 2764 of random bytes -----------------------
head -c 8192 /dev/urandom >rand.bin
job open_a0 --chip 2764 --chip-file rand.bin -t 2764 --fault open-address:0 --read a0.bin
check [ -s a0.bin ] && [ -z "$(od -An -v -w2 -tx1 a0.bin | awk '$1 != $2')" ] ||
    fail "open-address:0: cell 2k+1 must read as cell 2k"
job open_d7 --chip 2764 --chip-file rand.bin -t 2764 --fault open-data:7:1 --read d7.bin
check [ -s d7.bin ] && ! od -An -v -w1 -tx1 d7.bin | grep -q '^ [0-7]' ||
    fail "open-data:7:1: D7 must read 1"
# Half of the reads of the flaky cell inverted, the first among them.
job flaky --chip 2764 --chip-file rand.bin -t 2764 --fault flaky-cell:0x110:0xFF:50 --read f.bin
check [ "$(cmp -l f.bin rand.bin | awk '{print $1}')" = 273 ] ||
    fail "flaky-cell: $(cmp -l f.bin rand.bin)"

finish
