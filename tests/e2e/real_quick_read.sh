#!/usr/bin/env bash
# The real vantrel binary reads a whole 27C512 the quick way, one-bit shifts of the address
# register through its own port instructions: some 4.7 million trapped instructions, a minute
# or more on a busy machine (CTest label long).
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

# A 27C512 of random bytes read once by one-bit shifts (72 accesses a byte at delay 1, the
# plain way 147) gives the chip file, as vantrel-sim's plain read does.
head -c 65536 /dev/urandom >c512.chip
both quick "" "--chip 27C512 --chip-file c512.chip --stats" -t 27C512 --delay 1 --reads 1 \
    --read quick.bin
expect_status 0
expect_exact "read: 65536 bytes, $(hashes_of c512.chip)\n"
expect_clean_wire
accesses=$(sed -n 's/^port accesses: \([0-9]*\) .*/\1/p' quick.err)
check [ -n "$accesses" ] && [ "$accesses" -lt $((80 * 65536)) ] || fail "$accesses port accesses"
job plain --chip 27C512 --chip-file c512.chip -t 27C512 --reads 1 --addressing plain --read plain.bin
check cmp -s quick.bin c512.chip && cmp -s plain.bin c512.chip || fail "a read is not the chip"

finish
