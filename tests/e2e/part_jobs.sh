#!/usr/bin/env bash
# The chip by the name printed on it (-p, --part), on the model: one burn for each
# programming voltage at the level the part sets, with no hazard; the voltages that would
# destroy a chip refused before the board hears anything (no port access, the chip file
# still erased); a level below the part's allowed with a warning; reading at a high level
# still allowed; and the menu started with a part, on both programs where the real one runs.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
real_where_there_is_one

# expect_err_lines EXPECTED: the lines of standard error before the model's statistics.
expect_err_lines() {
    CHECKS=$((CHECKS + 1))
    local got want
    got=$(sed '/^vantrel-sim statistics$/,$d' "$SESSION.err"; echo x)
    want=$(printf '%b' "$1"; echo x)
    if [ "$got" != "$want" ]; then
        fail "standard error differs (- expected + actual):"
        diff -u <(printf '%s' "${want%x}" | cat -A) <(printf '%s' "${got%x}" | cat -A) | tail -n +3
    fi
}

# No byte of the image is 0xFF, so that a burn that fails fails at its first byte.
for i in $(seq 0 63); do printf '%b' "\\$(printf '%03o' $((i * 3)))"; done >image.bin

# ---- One burn per programming voltage, by the part's name --------------------------------
while IFS='|' read -r chip family type volts; do
    name=burn_$family
    run "$name" "" --chip "$chip" --chip-file "$name.chip" --stats -p "$chip" \
        --write image.bin --verify image.bin
    expect_status 0
    expect_exact "write: 64 bytes ok, 64 burnt, 0 already right\nverify: 64 bytes ok, $(hashes_of image.bin)\n"
    expect_err_lines "vantrel-sim: part $chip: a $family, type $type, programming voltage $volts\n"
    expect_clean_wire
    check cmp -s -n 64 "$name.chip" image.bin || fail "$chip: the chip does not hold the image"
done <<'EOF'
TMS2732-45JL|2732|2732|25 V
AM2732A-20|2732A|2732|21 V
MBM2764-25|2764|2764|21 V
HN4827128-25|27128|27128|21 V
D2764A-2|2764A|2764|12.75 V
M27C256B-12F1|27C256|27256|12.75 V
AM27C040-150DC|27C040|27040|12.75 V
EOF

# The NMOS 2764 by its socket alone gets the default 12.75 V and takes nothing: the part's
# name is what brings its 21 V.
run socket_only "" --chip MBM2764-25 --stats -t 2764 --write image.bin
expect_status 1
expect_exact "write: error at 0x0000: chip 0xFF, image 0x00 after 10 pulses\n"
expect_err_lines ""

# Below the part's level: allowed, with a warning, and it fails as the warning says.
run below "" --chip MBM2764-25 --stats -p MBM2764-25 --vpp 12 --write image.bin
expect_status 1
expect_exact "write: error at 0x0000: chip 0xFF, image 0x00 after 10 pulses\n"
expect_err_lines "vantrel-sim: part MBM2764-25: a 2764, type 2764, programming voltage 12.75 V (--vpp 12)\nvantrel-sim: warning: a 2764 programs at 21 V: a burn at 12.75 V may leave its bytes unchanged\n"
expect_clean_wire

# A part the board only reads: said so, and read.
run read_only "" --chip 2716 --stats -p 27C16 --range 3F --blank
expect_status 0
expect_exact "blank: ok\n"
expect_err_lines "vantrel-sim: part 27C16: a 27C16, type 2716, read only on this board\n"

# Reading and checking at 21 or 25 V harm no 27C256: the switch stays off. (By the type
# alone: named as the part, 27C256, the level is held to the part's limit.)
bytes_file erased.bin 32768 255
cp erased.bin high.chip
run read_high "" --chip 27C256 --chip-file high.chip --stats -t 27256 --vpp 25 --range 3F \
    --blank --verify erased.bin --read high.bin
expect_status 0
expect_clean_wire
expect_file_same high.chip erased.bin

# ---- Refused before the board hears anything ---------------------------------------------
# Status 2, nothing on standard output, not one port access, the chip file still erased.
while IFS='|' read -r name chip args; do
    cp erased.bin "$name.chip"
    bytes_file "$name.expect" "$(stat -c %s "$name.chip")" 255
    # shellcheck disable=SC2086 # the arguments are a list
    run "$name" "" --chip "$chip" --chip-file "$name.chip" --stats $args
    expect_status 2
    expect_exact ""
    expect_err "port accesses: 0 (reads 0, writes 0)"
    expect_file_same "$name.chip" "$name.expect"
    expect_no_file out.bin
done <<'EOF'
cmos_25v|27C256|-t 27C256 --vpp 25 --write image.bin
cmos_21v|27C256|-t 27256 --vpp 21 --blank --write image.bin --verify image.bin
over_limit_read|27C256|-p M27C256B-12F1 --vpp 21 --read out.bin
over_limit_blank|27C256|-p M27C256B-12F1 --vpp=25 --blank
other_type|27C256|-p M27C256B-12F1 -t 27C512 --write image.bin
nmos_25v|27C256|-p MBM2764-25 --vpp 25 --verify image.bin
read_only_write|27C256|-p 27C16 --write image.bin
EOF

# ---- The menu started with a part --------------------------------------------------------
# (Its wire and every refusal, type by type, are in test_mainloop.cpp; here the way from
# the command line.)
# A voltage key above the part's limit: a box, the level stays, and the next burn runs at it.
cp erased.bin keyed.chip
run keyed "1\n1\n\n2\n\nl\nimage.bin\n\nw\n0\n\nq\n" --chip 27C256 --chip-file keyed.chip \
    --stats -p m27c256b-12f1
expect_status 1
expect_boxes "Error:|a 27C256 takes at most 14 V on Vpp: 21 V would destroy it" \
    "Error:|a 27C256 takes at most 14 V on Vpp: 25 V would destroy it" \
    "Info:|64 bytes readed from image.bin" "Ready:|write ready: 3F Bytes"
expect_count 0 '[  21 V]'
expect_count 0 '[  25 V]'
expect_count 3 "$(status_line 378 0000 7FFF 2)"
expect_last_screen_has '\t0:  [  12 V] \t1:     21 V  \t2:     25 V \n'
expect_last_screen_has '\ta:  [27C256] \tb:   27C512 \n'
expect_clean_wire
check cmp -s -n 64 keyed.chip image.bin || fail "keyed: the chip does not hold the image"

# The real program takes --part for its menu too: the same screens as the model's.
if [ "$REAL" = 1 ]; then
    both real_part "1\n2\n\nq\n" "--chip 27C256 --stats" --part TMS27C256-2JL
    expect_status 1
    expect_boxes "Error:|a 27C256 takes at most 14 V on Vpp: 25 V would destroy it"
    expect_clean_wire
fi

finish
