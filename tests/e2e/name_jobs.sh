#!/usr/bin/env bash
# Chips named as users type them, on the model: an A part with its speed straight after the A
# burns at its own 12.75 V and stays whole; the job refusals of a -t name held to its part,
# of a --read over the job's own image, of text burnt as a raw image and of an option given
# twice: status 2, nothing on standard output, the chip file as it was, and the board never
# written to (an image is read after the port is opened, with its one status read).
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

head -c 8192 /dev/urandom | tr '\377' '\0' >img8k.bin
bytes_file erased.chip 8192 255

# The issue's chip: an M2764A-2F1 typed without its hyphen. Once a 2764 at 21 V, 40 hazards.
run a_speed "" --chip M2764A-2F1 --chip-file a_speed.chip --stats -p M2764A2F1 --write img8k.bin
expect_status 0
expect_exact "write: 8192 bytes ok, 8192 burnt, 0 already right\n"
expect_err "vantrel-sim: part M2764A2F1: a 2764A, type 2764, programming voltage 12.75 V"
expect_clean_wire
expect_file_same a_speed.chip img8k.bin

printf ':0400000001020304F2\n:00000001FF\n' >fw.h86
cp img8k.bin new.bin
mkdir sub
ln -s new.bin link.bin
# NAME|ARGS|MESSAGE on standard error
while IFS='|' read -r name args message; do
    cp erased.chip "$name.chip"
    # shellcheck disable=SC2086 # the arguments are a list
    run "$name" "" --chip 27C64 --chip-file "$name.chip" --stats $args
    expect_status 2
    expect_exact ""
    expect_err "vantrel-sim: $message"
    # A refused command line sets up no bench at all: no statistics.
    check && ! grep -q statistics "$name.err" ||
        { grep -q -x 'transfers: address register 0, IC5 0, IC4 0' "$name.err" &&
            grep -q -x 'port accesses: [01] (reads [01], writes 0)' "$name.err"; } ||
        fail "the port was written: $(grep '^port accesses' "$name.err")"
    expect_file_same "$name.chip" erased.chip
    expect_file_same new.bin img8k.bin
done <<'EOF'
t_part|-t 27C64 --vpp 21 --write img8k.bin|--vpp 21: a 27C64 takes at most 14 V on Vpp: 21 V would destroy it
t_other|-t TMS2716 --blank|-t 'TMS2716': part 'TMS2716' is the three-supply TMS2716
own_image|-t 27C64 --read new.bin --write new.bin|--read new.bin would replace the image of --write new.bin: read into another file
own_path|-t 27C64 --write new.bin --read sub/../new.bin|--read sub/../new.bin would replace the image of --write new.bin
own_link|-t 27C64 --verify new.bin --read link.bin|--read link.bin would replace the image of --verify new.bin
hex_text|-t 27C64 --write fw.h86|fw.h86: the file is Intel HEX text, not a raw image: give --format ihex (or --format raw to burn its characters)
part_twice|-p 27C256 -p 2764 --blank|option '-p' given twice; give it once
vpp_twice|-t 2764 --vpp 12 --vpp 21 --write img8k.bin|option '--vpp' given twice; give it once
port_twice|--port 0x378 --port 0x278 -t 2764 --blank|option '--port' given twice: the program opens one port
EOF

# The same text burnt as its characters when the operator says so.
run raw_asked "" --chip 27C64 --chip-file raw_asked.chip -t 27C64 --format raw --write fw.h86
expect_status 0
expect_exact "write: 32 bytes ok, 32 burnt, 0 already right\n"

run version "" --version
expect_status 0
expect_exact "vantrel-sim V 1.00\n"

finish
