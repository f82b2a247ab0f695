#!/usr/bin/env bash
# vantrel-sim --chip by the name printed on the chip: one burn for each programming voltage
# at the part's own level leaves no hazard and the image in the chip; a burn above the part's
# limit destroys it (hazards, a failed byte, a chip file that holds neither the erased cells
# nor the image); reading with a high level selected harms nothing; a name that is unknown or
# could be two parts is refused before the program starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
has() { grep -a -q -F -- "$2" "$TMP/$1.out"; }
err_has() { grep -q -x -F -- "$2" "$TMP/$1.err"; }

head -c 64 /dev/urandom >"$TMP/image.bin"
head -c 64 /dev/zero | tr '\0' '\377' >"$TMP/erased.bin"

# burn NAME PART VPP-KEY TYPE-KEY: load the image and burn it into PART (a new chip file) at
# the level of VPP-KEY, with the type of TYPE-KEY selected.
burn() {
    run "$1" "1\n$3\n$4\nl\n$TMP/image.bin\n\nw\n0\n\nq\n" --chip "$2" --chip-file "$TMP/$1.chip" --stats
}

# name PART VPP-KEY TYPE-KEY
for part in "TMS2732-45JL 2 7" "MBM2764-25 1 8" "HN4827128-25 1 9" "D2764A-2 0 8" \
    "M27C256B-12F1 0 a" "AM27C040-150DC 0 e"; do
    set -- $part
    name=${1//[^A-Za-z0-9]/_}
    burn "$name" "$1" "$2" "$3"
    if has "$name" "| write ready: 3F Bytes |" && err_has "$name" "hazards: 0" &&
        cmp -s -n 64 "$TMP/$name.chip" "$TMP/image.bin" && ! grep -q '^chip at exit' "$TMP/$name.err"; then
        ok
    else
        bad "$1 at its own level: $(grep -a -E '^\| [^ ]' "$TMP/$name.out" | tail -2) $(grep -A2 '^hazards' "$TMP/$name.err")"
    fi
done

# The 2764A at the NMOS 2764's 21 V: more than its 14 V.
burn hot D2764A-2 1 8
if has hot "| write-error at adr:0 "; then ok; else bad "hot: no write error"; fi
if err_has hot "program pulses: 10 triggered, 0 effective, 10 without effect"; then ok; else bad "hot: $(grep '^program' "$TMP/hot.err")"; fi
n=$(sed -n -E 's/^hazards: ([0-9]+)$/\1/p' "$TMP/hot.err")
texts=$(grep -c '^  programming voltage 21 V above the 14 V limit of a 27C64: the chip is destroyed (IC4 0x' "$TMP/hot.err")
if [ -n "$n" ] && [ "$n" -gt 0 ] && [ "$n" = "$texts" ]; then ok; else bad "hot: hazards '$n' with $texts texts"; fi
if err_has hot "chip at exit: the 27C64 is destroyed: more than 14 V on its VPP pin"; then ok; else bad "hot: chip not destroyed"; fi
if ! cmp -s -n 64 "$TMP/hot.chip" "$TMP/erased.bin" && ! cmp -s -n 64 "$TMP/hot.chip" "$TMP/image.bin"; then
    ok
else
    bad "hot: the chip file holds clean cells"
fi

# Reading the burnt 27C256 with 21 V and then 25 V selected: the switch stays off.
cp "$TMP/M27C256B_12F1.chip" "$TMP/before.chip"
run readhigh "1\n1\na\nr\n3F\n\n2\nr\n3F\n\nq\n" --chip M27C256B-12F1 --chip-file "$TMP/M27C256B_12F1.chip" --stats
if [ "$(grep -a -c -F '| read 63 bytes to buffer ( 0x3F ) - [#' "$TMP/readhigh.out")" = 2 ] &&
    err_has readhigh "hazards: 0" && cmp -s "$TMP/M27C256B_12F1.chip" "$TMP/before.chip"; then
    ok
else
    bad "readhigh: $(grep -a -E '^\| [^ ]' "$TMP/readhigh.out" | tail -2) $(grep -A2 '^hazards' "$TMP/readhigh.err")"
fi

# refused NAME TEXT: status 2, TEXT on standard error, the program not started.
refused() {
    printf '1\nq\n' | timeout 60 "$SIM" --chip "$1" >"$TMP/r.out" 2>"$TMP/r.err"
    local rc=$?
    if [ "$rc" = 2 ] && grep -q -x -F -- "vantrel-sim: --chip '$1': $2" "$TMP/r.err" && [ ! -s "$TMP/r.out" ]; then
        ok
    else
        bad "--chip '$1': status $rc, stderr: $(cat "$TMP/r.err")"
    fi
}
refused HN482764G "could be a 2764 (programs at 21 V) or a 2764A (programs at 12.75 V): name the one it is"
refused M27C2566-12F1 "unknown part; closest known: 27C256"
refused 27C32 "unknown part; closest known: 2732"

# --help says how to name the part and gives one figure for the CMOS parts.
"$SIM" --help >"$TMP/help.out"
if grep -q 'M27C256B-12F1' "$TMP/help.out" && grep -q '12.75 V' "$TMP/help.out" &&
    ! grep -q '12\.5 V' "$TMP/help.out"; then
    ok
else
    bad "--help: $(grep -A8 -e '--chip PART' "$TMP/help.out")"
fi

tally_end
