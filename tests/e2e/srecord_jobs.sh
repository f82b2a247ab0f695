#!/usr/bin/env bash
# Jobs with Intel HEX and S-record images, checked against srec_cat (Debian package
# srecord): a real-sized burn from HEX with a gap, read back as S-record, and a 27C010 above
# 64 KiB at an offset, HEX both ways through standard input and output.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"
needs srec_cat srecord

# ---- A real-sized job, HEX in and S-record out ---------------------------------------------
# 32 KiB for a 27C256 with a gap at 0x4000..0x4FFF, as a compiler leaves it.
head -c 32768 /dev/urandom >fw.bin
srec_cat fw.bin -Binary -exclude 0x4000 0x5000 -o fw.hex -Intel
srec_cat fw.hex -Intel -fill 0xFF 0 0x8000 -o want.bin -Binary
job burn --chip 27256 --chip-file chip.bin -t 27C256 --blank --write fw.hex --verify fw.hex --read out.s19
expect_status 0
expect_exact "blank: ok\n$(burn_line want.bin)\nverify: 32768 bytes ok, $(hashes_of want.bin)\nread: 32768 bytes, 2 reads agree, $(hashes_of want.bin)\n"
check cmp -s chip.bin want.bin || fail "the chip does not hold the image with 0xFF in its gap"
srec_cat out.s19 -Motorola -o back.bin -Binary 2>srec.err
check cmp -s back.bin want.bin && [ ! -s srec.err ] || fail "out.s19 is not the chip: $(cat srec.err)"
check [ ! -s burn.err ] || fail "standard error: $(cat burn.err)"

# Above 64 KiB, with an offset: a 27C010 that the target sees at 0x80000, HEX with extended
# linear address records both ways, through standard input and output.
head -c 131072 /dev/urandom >big.bin
srec_cat big.bin -Binary -offset 0x80000 -o big.hex -Intel
SESSION=big
timeout 60 "$SIM" --chip 27010 --chip-file big.chip -t 27C010 --offset 0x80000 --write - \
    --format ihex <big.hex >big.out 2>big.err
STATUS=$?
expect_status 0
expect_exact "$(burn_line big.bin)\n"
SESSION=big_read
timeout 60 "$SIM" --chip 27010 --chip-file big.chip -t 27010 --offset 0x80000 --format ihex \
    --read - <big.hex >read.hex 2>big_read.err
STATUS=$?
expect_status 0
srec_cat read.hex -Intel -offset -0x80000 -o big.back -Binary
check cmp -s big.chip big.bin && cmp -s big.back big.bin && grep -q '^:02000004000[89]' read.hex ||
    fail "the chip or its HEX read-back differs"
check grep -q -x "read: 131072 bytes, 2 reads agree, $(hashes_of big.bin)" big_read.err ||
    fail "result line not on standard error: $(cat big_read.err)"

finish
