#!/usr/bin/env bash
# vantrel-sim --fault and --pulse: each fault of the board or the chip shows the box the
# program gives for it in a scripted session, and the healthy bench shows none of them.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
# expect_box NAME TEXT: the session's screen holds a box whose text line starts with TEXT.
expect_box() {
    if grep -a -q -F -- "| $2 " "$TMP/$1.out"; then
        passed=$((passed + 1))
    else
        echo "FAIL $1: no box '$2'"
        grep -a -E '^\| ' "$TMP/$1.out" | sed 's/^/    /'
        failed=$((failed + 1))
    fi
}

expect_no_box() {
    if grep -a -q -F -- "| $2" "$TMP/$1.out"; then
        echo "FAIL $1: unexpected box '$2'"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
}

expect_rc() {
    local rc
    rc=$(cat "$TMP/$1.rc")
    if [ "$rc" = "$2" ]; then
        passed=$((passed + 1))
    else
        echo "FAIL $1: exit status $rc, expected $2"
        cat "$TMP/$1.err"
        failed=$((failed + 1))
    fi
}

# Port 0x378, type 27C64, write 0..0xFF of the zeroed buffer, Enter on the box, exit.
WRITE='1\n8\nw\nff\n\nq\n'

run healthy "$WRITE" --chip 27C64
expect_box healthy "write ready: FF Bytes"
expect_rc healthy 1

# The monoflop never returns to rest: the pulse times out at the first byte.
run mf1 "$WRITE" --chip 27C64 --fault monoflop-stuck-1
expect_box mf1 "timeout writing at adr:0"
expect_rc mf1 1

# The monoflop never starts: no pulse reaches the chip, ten tries, the byte stays erased.
run mf0 "$WRITE" --chip 27C64 --fault monoflop-stuck-0
expect_box mf0 "write-error at adr:0   read: FF   buffer: 0"

# A pulse longer than the program's end wait looks like a stuck monoflop...
run longpulse "$WRITE" --chip 27C64 --pulse 20000
expect_box longpulse "timeout writing at adr:0"
# ... and a short one works.
run shortpulse "$WRITE" --chip 27C64 --pulse 3
expect_box shortpulse "write ready: FF Bytes"

# A stuck cell reads its value whatever is programmed.
run stuck "$WRITE" --chip 27C64 --fault stuck-cell:0x10:0x5A
expect_box stuck "write-error at adr:10   read: 5A   buffer: 0"
run stuckdec "$WRITE" --chip 27C64 --fault stuck-cell:200:255
expect_box stuckdec "write-error at adr:C8   read: FF   buffer: 0"

# A weak cell that needs more than the program's ten tries fails; one that needs five is
# programmed in the end.
run weak11 "$WRITE" --chip 27C64 --fault weak-cell:0x20:11
expect_box weak11 "write-error at adr:20   read: FF   buffer: 0"
run weak5 "$WRITE" --chip 27C64 --fault weak-cell:0x20:5 --stats
expect_box weak5 "write ready: FF Bytes"
if grep -q -x "program pulses: 260 triggered, 260 effective, 0 without effect" "$TMP/weak5.err"; then
    passed=$((passed + 1))
else
    echo "FAIL weak5: 256 cells plus four extra pulses expected"
    cat "$TMP/weak5.err"
    failed=$((failed + 1))
fi

# Every cell weak beyond ten pulses: the first byte fails.
run allweak "$WRITE" --chip 27C64 --fault weak-cells:100:40:7
expect_box allweak "write-error at adr:0   read: FF   buffer: 0"
# A share of weak cells within the tries: the run succeeds with more pulses than cells, the
# same number for the same seed and another one for another seed.
run someweak1 "$WRITE" --chip 27C64 --fault weak-cells:10:4:7 --stats
run someweak2 "$WRITE" --chip 27C64 --fault weak-cells:10:4:7 --stats
run someweak3 "$WRITE" --chip 27C64 --fault weak-cells:10:4:8 --stats
expect_box someweak1 "write ready: FF Bytes"
p1=$(grep '^program pulses' "$TMP/someweak1.err")
p2=$(grep '^program pulses' "$TMP/someweak2.err")
p3=$(grep '^program pulses' "$TMP/someweak3.err")
n1=$(echo "$p1" | sed -E 's/^program pulses: ([0-9]+) .*/\1/')
if [ -n "$p1" ] && [ "$p1" = "$p2" ] && [ "$p1" != "$p3" ] && [ "$n1" -gt 256 ]; then
    passed=$((passed + 1))
else
    echo "FAIL weak-cells: pulses '$p1' / '$p2' (same seed) / '$p3' (other seed)"
    failed=$((failed + 1))
fi

# The read-back line stuck either way fails the detection on the chosen port.
run rb0 '1\n\nq\n' --fault readback-stuck-0
expect_box rb0 "Vantrel not found at LPT (0x378)"
run rb1 '1\n\nq\n' --fault readback-stuck-1
expect_box rb1 "Vantrel not found at LPT (0x378)"
expect_no_box healthy "Vantrel not found"

tally_end
