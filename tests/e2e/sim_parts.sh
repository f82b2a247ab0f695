#!/usr/bin/env bash
# vantrel-sim --chip by the name printed on the chip: one burn for each programming voltage
# at the part's own level leaves no hazard and the image in the chip; a burn above the part's
# limit destroys it (hazards, a failed byte, a chip file that holds neither the erased cells
# nor the image); reading with a high level selected harms nothing; a name that is unknown or
# could be two parts is refused before the program starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"
# err_line LINE: standard error of the session has LINE, whole.
err_line() { grep -q -x -F -- "$1" "$SESSION.err"; }

head -c 64 /dev/urandom >image.bin
head -c 64 /dev/zero | tr '\0' '\377' >erased.bin

# burn NAME PART VPP-KEY TYPE-KEY: load the image and burn it into PART (a new chip file) at
# the level of VPP-KEY, with the type of TYPE-KEY selected.
burn() {
    run "$1" "1\n$3\n$4\nl\n$WORK/image.bin\n\nw\n0\n\nq\n" --chip "$2" --chip-file "$1.chip" --stats
}

# name PART VPP-KEY TYPE-KEY
for part in "TMS2732-45JL 2 7" "MBM2764-25 1 8" "HN4827128-25 1 9" "D2764A-2 0 8" \
    "M27C256B-12F1 0 a" "AM27C040-150DC 0 e"; do
    set -- $part
    name=${1//[^A-Za-z0-9]/_}
    burn "$name" "$1" "$2" "$3"
    expect_has "| write ready: 3F Bytes |"
    check err_line "hazards: 0" && cmp -s -n 64 "$name.chip" image.bin &&
        ! grep -q '^chip at exit' "$name.err" ||
        fail "$1 at its own level: $(grep -A2 '^hazards' "$name.err")"
done

# The 2764A at the NMOS 2764's 21 V: more than its 14 V.
burn hot D2764A-2 1 8
expect_has "| write-error at adr:0 "
check err_line "program pulses: 10 triggered, 0 effective, 10 without effect" ||
    fail "$(grep '^program' hot.err)"
n=$(sed -n -E 's/^hazards: ([0-9]+)$/\1/p' hot.err)
texts=$(grep -c '^  programming voltage 21 V above the 14 V limit of a 27C64: the chip is destroyed (IC4 0x' hot.err)
check [ -n "$n" ] && [ "$n" -gt 0 ] && [ "$n" = "$texts" ] || fail "hazards '$n' with $texts texts"
check err_line "chip at exit: the 27C64 is destroyed: more than 14 V on its VPP pin" ||
    fail "chip not destroyed"
check && ! cmp -s -n 64 hot.chip erased.bin && ! cmp -s -n 64 hot.chip image.bin ||
    fail "the chip file holds clean cells"

# Reading the burnt 27C256 with 21 V and then 25 V selected: the switch stays off.
cp M27C256B_12F1.chip before.chip
run readhigh "1\n1\na\nr\n3F\n\n2\nr\n3F\n\nq\n" --chip M27C256B-12F1 --chip-file M27C256B_12F1.chip --stats
expect_count 2 "| read 63 bytes to buffer ( 0x3F ) - [#"
expect_clean_wire
expect_file_same M27C256B_12F1.chip before.chip

# refused NAME TEXT: status 2, TEXT on standard error, the program not started.
refused() {
    run refused '1\nq\n' --chip "$1"
    expect_status 2
    check err_line "vantrel-sim: --chip '$1': $2" && [ ! -s refused.out ] ||
        fail "--chip '$1': stderr: $(cat refused.err)"
}
refused HN482764B "could be a 2764 (programs at 21 V) or a 2764A (programs at 12.75 V): name the one it is"
refused M27C2566-12F1 "unknown part; closest known: 27C256"
refused 27C32 "unknown part; closest known: 2732"

# --help says how to name the part and gives one figure for the CMOS parts.
run help "" --help
expect_has 'M27C256B-12F1'
expect_has '12.75 V'
expect_lacks '12.5 V'

finish
