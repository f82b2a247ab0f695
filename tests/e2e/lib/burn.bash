# The burn session of tests/e2e/real_burn*.sh, sourced after real.bash.

# burn_session NAME PART KEYS SIZE LAST: on vantrel and vantrel-sim alike, a PART (type
# chosen with KEYS: the level, then the type) is blank-checked over 0..0x3F, burnt with an
# image of SIZE random bytes (the range end LAST, in hex, comes from the load), verified,
# read back into a buffer cleared by loading zeros, and the buffer saved. The boxes, the
# chip file and the saved file must show the image; the wire must stay clean.
burn_session() {
    local name=$1 part=$2 keys=$3 size=$4 last=$5
    head -c "$size" /dev/urandom >"$name.img"
    head -c "$size" /dev/zero >"$name.zero"
    both "$name" \
        "1\n$keys\n+\nz\n3F\n\nl\n$name.img\n\nw\n0\n\nv\n0\n\nl\n$name.zero\n\nr\n0\n\ns\n$name.back\n\nq\n" \
        "--chip $part --chip-file %s.$name.chip --pulse 3 --stats"
    expect_status 1
    expect_boxes "Ready:|eprom is blank" "Info:|$size bytes readed from $name.img" \
        "Ready:|write ready: $last Bytes" "Ready:|compare: $last" \
        "Info:|$size bytes readed from $name.zero" \
        "Ready:|read $((16#$last)) bytes to buffer ( 0x$last ) - [#$(checksum_of "$name.img")]" \
        "Info:|$size bytes written to $name.back"
    expect_clean_wire
    expect_file_same "$name.back" "$name.img"
    check cmp -s -n "$size" "real.$name.chip" "$name.img" || fail "the chip does not hold the image"
}
