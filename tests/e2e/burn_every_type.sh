# Every type through the menu, the way an operator burns a chip: load an image of distinct
# bytes sized for the chip, burn it, verify it, clear the buffer by loading zeros, read the
# chip back, save it. The saved file and the virtual chip must equal the image byte for
# byte, the read's box must carry the checksum computed here from the bytes, and the board
# must have seen no protocol violation and no hazard to the chip.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# key size part [vpp-key]: the NMOS 2732 wants 25 V, the NMOS 2764 21 V, the others 12.75 V
burn_type() {
    local key=$1 size=$2 name=$3 vppkey=${4:-0}
    local last
    last=$(printf '%X' $((size - 1)))
    # Random bytes: no repeating pattern that could hide an address line that aliases.
    head -c "$size" /dev/urandom >"img$name"
    head -c "$size" /dev/zero >"zero$name"
    rm -f "chip$name" "out$name"
    run "burn_$name" "1\n$vppkey\n$key\n+\nl\nimg$name\n\nw\n0\n\nv\n0\n\nl\nzero$name\n\nr\n0\n\ns\nout$name\n\nq\n" \
        --chip "$name" --chip-file "chip$name" --stats
    expect_status 1
    expect_boxes "Info:|$size bytes readed from img$name" "Ready:|write ready: $last Bytes" \
        "Ready:|compare: $last" "Info:|$size bytes readed from zero$name" \
        "Ready:|read $((size - 1)) bytes to buffer ( 0x$last ) - [#$(checksum_of "img$name")]" \
        "Info:|$size bytes written to out$name"
    expect_file_same "out$name" "img$name"
    expect_file_same "chip$name" "img$name"
    CHECKS=$((CHECKS + 1))
    if ! grep -qx 'protocol violations: 0' "burn_$name.err" || ! grep -qx 'hazards: 0' "burn_$name.err"; then
        fail "the board saw violations or hazards:"
        cat "burn_$name.err"
    fi
}

burn_type 7 4096 2732 2
burn_type 8 8192 2764 1
burn_type 9 16384 27C128
burn_type a 32768 27256
burn_type b 65536 27512
burn_type c 131072 27010
burn_type d 262144 27020
burn_type e 524288 27040

# The 2716 can be read but not programmed: the first byte that is not 0xFF stops the run
# with the two boxes, and the chip stays erased.
printf '\377\377\022' >img3
run burn_2716 "1\n6\nl\nimg3\n\nw\n0\n\nq\n" --chip 2716 --chip-file chip2716
expect_status 1
expect_boxes "Info:|3 bytes readed from img3" "Info:|programming not supported for 2716" \
    "Error:|writing not supported"
CHECKS=$((CHECKS + 1))
head -c 2048 /dev/zero | tr '\0' '\377' >erased2716
cmp -s chip2716 erased2716 || fail "the 2716 chip file is not erased"

finish
