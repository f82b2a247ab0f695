#!/usr/bin/env bash
# The real vantrel binary runs jobs through its own port instructions: the example lines of
# the scripting section, with the same result lines and status as vantrel-sim on the same
# bench, a clean wire, and status 3 where the port cannot be opened.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

bytes_file rom.bin 64 90
both burn "" "--chip 27C512 --chip-file %s.chip --pulse 3 --stats" \
    --port 0x378 -t 27C512 --delay 1 --range 3F --blank --write rom.bin
expect_status 0
expect_exact "blank: ok\nwrite: 64 bytes ok, 64 burnt, 0 already right\n"
expect_clean_wire
check cmp -s -n 64 real.chip rom.bin || fail "the chip does not hold rom.bin"

{ cat rom.bin; head -c 32704 /dev/zero | tr '\0' '\377'; } >c256.chip
both read "" "--chip 27C256 --chip-file c256.chip --pulse 3" -t 27C256 --delay 1 --range 3F \
    --read dump.s19
expect_status 0
expect_has "read: 64 bytes, 2 reads agree, sum 0x1680, CRC-32 0x"
# The S-record is vantrel-sim's own, byte for byte (srecord_jobs.sh checks that one against
# srec_cat), and holds the chip's first 64 bytes.
mv dump.s19 real-dump.s19
job sim_dump --chip 27C256 --chip-file c256.chip -t 27C256 --range 3F --read dump.s19
check cmp -s real-dump.s19 dump.s19 || fail "vantrel's dump.s19 differs from vantrel-sim's"
job verify_dump --chip 27C256 --chip-file c256.chip -t 27C256 --range 3F --verify real-dump.s19
expect_status 0
expect_exact "verify: 64 bytes ok, $(hashes_of rom.bin)\n"

both absent "" "--board-port none --chip 27C256" -t 27C256 --blank
expect_status 3
expect_err "no Vantrel II answers on the port 0x378"

# No access at all (a user with neither root's rights nor a ppdev device): status 3.
open_devices=$(as_user sh -c 'for d in /dev/parport*; do [ -w "$d" ] && echo "$d"; done; true')
if [ -z "$open_devices" ]; then
    SESSION=refused
    as_user timeout 60 env -u LD_PRELOAD "$BIN/vantrel" -t 27C256 --blank </dev/null \
        >"$SESSION.out" 2>"$SESSION.err"
    STATUS=$?
    expect_status 3
    expect_err "ioperm(-1) --> you need root-access"
    expect_err "no access to the port 0x378"
fi

finish
