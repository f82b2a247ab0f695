#!/usr/bin/env bash
# Both command lines, message by message: every way vantrel and vantrel-sim refuse a command
# line, with its exact text on standard error, nothing on standard output and status 2; which
# fault is named when a line has several; --help and --version. The real binary runs under
# the harness (where there is one for this processor) and must not make one port call.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
real_where_there_is_one
[ "$REAL" = 1 ] || echo "no vantrel binary for this processor: vantrel-sim's command line only"

USAGE="Usage: vantrel [--port PORT] [-p PART]\n       vantrel [--port PORT] -t TYPE|-p PART ACTION... [OPTION]...\n       vantrel --parts [PATTERN]\n"
NO_PORT_CALL="harness: the program made no port call\n"

# expect_err_exact EXPECTED: standard error of the session, byte for byte.
expect_err_exact() {
    CHECKS=$((CHECKS + 1))
    printf '%b' "$1" >"$SESSION.errwant"
    if ! cmp -s "$SESSION.errwant" "$SESSION.err"; then
        fail "standard error differs (- expected + actual):"
        diff -u <(cat -A "$SESSION.errwant") <(cat -A "$SESSION.err") | tail -n +3 | head -n 20
    fi
}

# on PROG ARGS...: one run of vantrel (under the harness) or vantrel-sim with ARGS and no
# input, as session N (the checks that follow name the command line if they fail); sets
# EXTRA_ERR to what the harness adds on standard error.
N=0
on() {
    local prog=$1
    shift
    N=$((N + 1))
    SHOWN="$prog $*"
    if [ "$prog" = vantrel ]; then
        real "$N" "" "" "$@"
        EXTRA_ERR=$NO_PORT_CALL
    else
        run "$N" "" "$@"
        EXTRA_ERR=""
    fi
}

# named: after the checks of a run, the command line when one of them failed.
FAILED_BEFORE=0
named() {
    [ "$FAILED" -gt "$FAILED_BEFORE" ] && echo "    (session $N: $SHOWN)"
    FAILED_BEFORE=$FAILED
}

# refused PROG KIND MESSAGE ARGS...: PROG refuses ARGS with "PROG: MESSAGE" and the tail of
# that KIND of refusal: usage (vantrel's own options), job (a job option), check (a job
# whose options are good one by one but not together: no tail) or bench (vantrel-sim's own
# options).
refused() {
    local prog=$1 kind=$2 message=$3 tail
    shift 3
    case $kind in
    usage) tail="${USAGE}Try 'vantrel --help' for more information.\n" ;;
    job) tail="Try '$prog --help' for more information.\n" ;;
    check) tail="" ;;
    bench) tail="Try 'vantrel-sim --help' for the options.\n" ;;
    esac
    on "$prog" "$@"
    expect_status 2
    expect_exact ""
    expect_err_exact "$prog: $message\n$tail$EXTRA_ERR"
    named
}

TYPES="(2708, 2716, 2732, 2764, 27128, 27256, 27512, 27010, 27020, 27040, also as 27C256 and the like)"
BASE="no base address (0x378, 0xD010) nor device (/dev/parport0):"
SIM_BASE="expected a base address from 0x1 to 0xFFFD (0x378, 0xD010, ...)"
BLANKS="--blank --blank --blank --blank --blank --blank --blank --blank --blank"

# KIND|ARGS|MESSAGE. A job row is run on both programs, a usage row on vantrel, a bench row
# on vantrel-sim. An option's value is the word after it, whatever it looks like.
while IFS='|' read -r kind args message; do
    [ -z "$kind" ] && continue
    eval "set -- $args"
    case $kind in
    job | check)
        [ "$REAL" = 1 ] && refused vantrel "$kind" "$message" "$@"
        refused vantrel-sim "$kind" "$message" "$@"
        ;;
    usage) [ "$REAL" = 1 ] && refused vantrel usage "$message" "$@" ;;
    bench) refused vantrel-sim bench "$message" "$@" ;;
    esac
done <<EOF
job|-t|option '-t' needs a value
job|--type|option '--type' needs a value
job|--type=|--type '': unknown EPROM type $TYPES
job|-t 2799 --blank|-t '2799': unknown EPROM type $TYPES
job|--type 27C99 --blank|--type '27C99': unknown EPROM type $TYPES
job|--vpp 13 -t 2764 --blank|--vpp '13': the board has 12 (12.75), 21 and 25 (volts)
job|--vpp|option '--vpp' needs a value
job|--vcc=7|--vcc '7': the board has 5 and 6.25 (volts)
job|--delay 0|--delay '0': a bus delay factor from 1 to 255
job|--delay 256|--delay '256': a bus delay factor from 1 to 255
job|--delay 0x5|--delay '0x5': a bus delay factor from 1 to 255
job|--range 100000000|--range '100000000': a hexadecimal address (7FFF, 0x8000)
job|--range 0x|--range '0x': a hexadecimal address (7FFF, 0x8000)
job|--offset=g|--offset 'g': a hexadecimal address (7FFF, 0x8000)
job|--format bin|--format 'bin': raw, ihex or srec
job|--format|option '--format' needs a value
job|--blank=1|option '--blank' takes no value
job|--blank=|option '--blank' takes no value
job|--write|option '--write' needs a value
job|--write=|option '--write' needs a file name (- for standard input)
job|--verify ''|option '--verify' needs a file name (- for standard input)
job|--read=|option '--read' needs a file name (- for standard output)
job|-t 2764 $BLANKS $BLANKS|more than 16 actions
job|-t 27C256|a job needs an action (--blank, --write, --verify, --read or --inspect)
job|--vpp 21 --delay 1|a job needs an action (--blank, --write, --verify, --read or --inspect)
usage|--bogus -t 2764|unknown option '--bogus'
bench|--bogus -t 2764|unknown option '--bogus'
usage|-t 27C256 --bogus|unknown option '--bogus'
bench|-t 27C256 --bogus|unknown option '--bogus'
job|--help -t 2764|a job needs an action (--blank, --write, --verify, --read or --inspect)
usage|--bogus --vpp 13|unknown option '--bogus'
bench|--bogus --vpp 13|unknown option '--bogus'
job|--vpp 13 --bogus|--vpp '13': the board has 12 (12.75), 21 and 25 (volts)
job|--help --vpp 13|--vpp '13': the board has 12 (12.75), 21 and 25 (volts)
job|--vpp 13 --vcc 7|--vpp '13': the board has 12 (12.75), 21 and 25 (volts)
job|-p|option '-p' needs a value
job|--part|option '--part' needs a value
job|--part=|--part: unknown part ''; the closest known: 2708, 2716, 2732, 2764
job|-p 27C99 --blank|-p: unknown part '27C99'; the closest known: 27C16, 27C32, 27C64
job|--part M27C2566-12F1 --blank|--part: unknown part 'M27C2566-12F1'; the closest known: 27C256
job|-p 27C32 --blank|-p: part '27C32' could be a 2732 or a 2732A: give one of these names
job|-p 2764 --vpp 21|a job needs an action (--blank, --write, --verify, --read or --inspect)
job|--parts -t 2764|a job needs an action (--blank, --write, --verify, --read or --inspect)
job|--parts=27C --vpp 13|--vpp '13': the board has 12 (12.75), 21 and 25 (volts)
check|--blank|a job needs the EPROM type (-t TYPE) or the part (-p NAME)
check|-t 27C256 --vpp 25 --write x.bin|--vpp 25: no 27256 programs above 12.75 V: 25 V would destroy it
check|-t 27512 --vpp=21 --blank --write x.bin|--vpp 21: no 27512 programs above 12.75 V: 21 V would destroy it
check|--write x.bin -t 27c040 --vpp 25|--vpp 25: no 27040 programs above 12.75 V: 25 V would destroy it
check|-t 27C010 --vpp 21 --write x.bin|--vpp 21: no 27010 programs above 12.75 V: 21 V would destroy it
check|-t 27020 --vpp 21 --write x.bin|--vpp 21: no 27020 programs above 12.75 V: 21 V would destroy it
check|-t 2764 --vpp 25 --write x.bin|--vpp 25: no 2764 programs above 21 V: 25 V would destroy it
check|-t 27128 --vpp 25 --write x.bin|--vpp 25: no 27128 programs above 21 V: 25 V would destroy it
check|-p M27C256B-12F1 --vpp 21 --blank|--vpp 21: a 27C256 takes at most 14 V on Vpp: 21 V would destroy it
check|--read x.bin -p D2764A-2 --vpp 25|--vpp 25: a 2764A takes at most 14 V on Vpp: 25 V would destroy it
check|-p MBM2764-25 --vpp 25 --verify x.bin|--vpp 25: a 2764 takes at most 22 V on Vpp: 25 V would destroy it
check|--part=AM2732A-2 --vpp 25 --blank|--vpp 25: a 2732A takes at most 22 V on Vpp: 25 V would destroy it
check|-t 27C512 -p M27C256B-12F1 --blank|-t 27C512 and -p M27C256B-12F1: a 27C256 is a 27256, not a 27512
check|-p 2764A --type 2732 --blank|-t 2732 and -p 2764A: a 2764A is a 2764, not a 2732
check|-p 27C16 --write x.bin|--write: a 27C16 cannot be programmed on this board
check|-t 27C64 --vpp 21 --write x.bin|--vpp 21: a 27C64 takes at most 14 V on Vpp: 21 V would destroy it
check|-t 27C32 --vpp 25 --blank|--vpp 25: a 2732A takes at most 22 V on Vpp: 25 V would destroy it
check|--parts $(printf '%048d' 0)|--parts: a pattern of at most 47 characters
job|-p 27C256 -p 2764 --blank|option '-p' given twice; give it once
job|--range 3F -t 2764 --range 3F --blank|option '--range' given twice; give it once
job|--reads 2 -t 2764 --reads 3 --read x.bin|option '--reads' given twice; give it once
job|--majority --reads 3 --majority|option '--majority' given twice; give it once
job|--reads 0|--reads '0': a number of reads from 1 to 9
job|--reads=10 -t 2764 --read x.bin|--reads '10': a number of reads from 1 to 9
job|--addressing fast -t 27512 --read x.bin|--addressing 'fast': quick or plain
job|--addressing plain --addressing quick|option '--addressing' given twice; give it once
check|-t 2764 --reads 2 --majority --read x.bin|--majority needs 3 or more reads to outvote one (--reads 2 given)
check|-p TMS2708JL --write x.bin|--write: a 2708 cannot be programmed on this board
usage|--bogus|unknown option '--bogus'
usage|--bogus=1|unknown option '--bogus=1'
usage|-x|unknown option '-x'
usage|-h|unknown option '-h'
usage|-|unknown option '-'
usage|--|unknown option '--'
usage|-- -t 2764 --blank|unknown option '--'
usage|-t27256 --blank|unknown option '-t27256'
usage|-t=27256 --blank|unknown option '-t=27256'
usage|--typ 2764|unknown option '--typ'
usage|--ty=2764|unknown option '--ty=2764'
usage|--vers|unknown option '--vers'
usage|--po 0x378|unknown option '--po'
usage|--help=1|unknown option '--help=1'
usage|--version=|unknown option '--version='
usage|extra|unexpected argument 'extra'
usage|''|unexpected argument ''
usage|--port 0x378 extra|unexpected argument 'extra'
usage|-t 2764 --blank x|unexpected argument 'x'
usage|-p 2764 x|unexpected argument 'x'
usage|--parts 27C0 x|unexpected argument 'x'
usage|--parts=27C0 x|unexpected argument 'x'
usage|--parts --blank x|unexpected argument 'x'
usage|--port|option needs a port: '--port'
usage|--port=|$BASE ''
usage|--port 378|$BASE '378'
usage|--port 0xFFFE|$BASE '0xFFFE'
usage|--port=0x0|$BASE '0x0'
usage|--port ' 0x378'|$BASE ' 0x378'
usage|--port 0x378 --port 0x278|port given twice: '0x278'
usage|--port=/dev/parport0 --port bad|port given twice: 'bad'
usage|--bogus --help|unknown option '--bogus'
usage|--port --blank|$BASE '--blank'
usage|--port bad --help|$BASE 'bad'
usage|--port bad --bogus|$BASE 'bad'
bench|--bogus|unknown option '--bogus'
bench|--bogus=1|unknown option '--bogus'
bench|-x=1|unknown option '-x=1'
bench|-|unknown option '-'
bench|--|unknown option '--'
bench|-ht 2764|unknown option '-ht'
bench|-t27256 --blank|unknown option '-t27256'
bench|--ch 2764|unknown option '--ch'
bench|--sta|unknown option '--sta'
bench|--version=1|option '--version' takes no value
bench|extra|unexpected argument 'extra' (vantrel-sim takes options only)
bench|-t 2764 --blank x|unexpected argument 'x' (vantrel-sim takes options only)
bench|--parts=27C0 x|unexpected argument 'x' (vantrel-sim takes options only)
bench|--help=me|option '--help' takes no value
bench|--no-chip=|option '--no-chip' takes no value
bench|--stats=yes|option '--stats' takes no value
bench|--chip|option '--chip' needs a chip type
bench|--chip-file=|option '--chip-file' needs a path
bench|--chip-file|option '--chip-file' needs a path
bench|--trace|option '--trace' needs a path
bench|--trace=|option '--trace' needs a path
bench|--board-port|option '--board-port' needs a base address or none
bench|--port|option '--port' needs a base address like 0xD010
bench|--pulse|option '--pulse' needs a number of port accesses
bench|--fault|option '--fault' needs a fault
bench|--board-port 0xFFFE|--board-port '0xFFFE': $SIM_BASE or none
bench|--board-port=0|--board-port '0': $SIM_BASE or none
bench|--port /dev/parport0|--port '/dev/parport0': $SIM_BASE; the model has no ppdev devices
bench|--port=378|--port '378': $SIM_BASE; the model has no ppdev devices
bench|--pulse 0|--pulse '0': expected a positive number of port accesses
bench|--pulse=0x|--pulse '0x': expected a positive number of port accesses
bench|--fault weak-cell:5|--fault 'weak-cell:5': expected weak-cell:ADDR:K
bench|--fault stuck-cell:1:256|--fault 'stuck-cell:1:256': VALUE must be a byte (0 to 255 or 0x00 to 0xFF)
bench|--fault weak-cells:5:3:x|--fault 'weak-cells:5:3:x': bad seed 'x'
bench|--fault readback-stuck-0:1|--fault 'readback-stuck-0:1': takes no values
bench|--fault readback-stuck-0 --fault readback-stuck-1|--fault 'readback-stuck-1': the read-back line has a fault already
bench|--chip 2764 --fault stuck-cell:0x2000:1|--fault 'stuck-cell:0x2000:1': address outside the 2764 (0x0..0x1FFF)
bench|--no-chip --chip 2716|--chip and --no-chip exclude each other
bench|--no-chip --chip-file c.bin|--chip-file needs a chip in the socket, not --no-chip
bench|--no-chip --fault weak-cell:1:2|--fault 'weak-cell:1:2' needs a chip in the socket, not --no-chip
bench|--no-chip --chip 2716 --bogus|unknown option '--bogus'
bench|--help --no-chip --chip 2716|--chip and --no-chip exclude each other
bench|--help --bogus|unknown option '--bogus'
bench|--stats --nope --pulse 0|unknown option '--nope'
bench|--pulse 0 --nope|--pulse '0': expected a positive number of port accesses
bench|--pulse --vpp 13|--pulse '--vpp': expected a positive number of port accesses
EOF

# --help and --version: the text on standard output, status 0, and nothing else happens,
# whatever follows on the line.
if [ "$REAL" = 1 ]; then
    for args in "--help" "--help --bogus" "--port 0x378 --help extra"; do
        # shellcheck disable=SC2086 # the arguments are a list
        on vantrel $args
        expect_status 0
        expect_has "${USAGE}Read, verify, blank-check and program EPROMs"
        expect_has "\n  --port PORT   the port the board hangs on, instead of the start-up\n"
        expect_has "\n\nA job (no menu; actions run in the order given, the first failure stops it):\n"
        expect_has "differ, 2 bad usage or an image or file error, 3 no access to the port or no board\nanswering.\n"
        expect_err_exact "$NO_PORT_CALL"
        named
    done
    for args in "--version" "--version --port bad" "--version --help"; do
        # shellcheck disable=SC2086
        on vantrel $args
        expect_status 0
        expect_exact "vantrel V 1.00\n"
        expect_err_exact "$NO_PORT_CALL"
        named
    done
fi
# The harness's bench (VANTREL_HARNESS) is read as vantrel-sim's command line, with the
# harness's own options in the same pass; anything wrong ends the program before it starts.
if [ "$REAL" = 1 ]; then
    while IFS='|' read -r bench message; do
        N=$((N + 1))
        SHOWN="VANTREL_HARNESS='$bench'"
        real "$N" "" "$bench" -t 27C256 --blank
        expect_status 134
        expect_exact ""
        expect_err "vantrel harness: $message"
        named
    done <<'EOF'
--bogus|unknown option '--bogus'
--ppdev|--ppdev needs N:BASE[:FAULT]
--ppdev=16:0x378|--ppdev '16:0x378': expected N:BASE[:FAULT] with N 0..15
--ppdev 1|--ppdev '1': expected N:BASE[:FAULT] with N 0..15
--ppdev 1:0x378x|--ppdev '1:0x378x': bad base address
--ppdev 1:0xFFFE|--ppdev '1:0xFFFE': bad base address
--ppdev 1:888:nope|--ppdev '1:888:nope': unknown fault 'nope'
--ppdev 1:888:vanish:x|--ppdev '1:888:vanish:x': unknown fault 'vanish:x'
--refuse-ioperm=1|option '--refuse-ioperm' takes no value
--port 0x378|--port is no bench option: give it to vantrel
--stats -h|--help is no bench option: give it to vantrel
--stats extra|unexpected argument 'extra' (vantrel-sim takes options only)
--pulse 0 --ppdev 1|--ppdev '1': expected N:BASE[:FAULT] with N 0..15
EOF
    # A device given as --ppdev=N:BASE with BASE in decimal (888 is 0x378), direct access
    # refused: the job goes through the device.
    N=$((N + 1))
    SHOWN="--ppdev=1:888 --refuse-ioperm"
    real "$N" "" "--ppdev=1:888 --refuse-ioperm --stats" --port /dev/parport1 -t 27C256 \
        --range 3F --blank
    expect_status 0
    expect_exact "blank: ok\n"
    expect_err "harness: 0 port instructions trapped, "
    named
fi

# --parts [PATTERN]: the list on standard output and status 0, whatever job follows on the
# line; no port is touched and no bench set up. The pattern is the word after --parts or
# its value after '='.
HEAD='part                  type    size      program at  Vpp limit\n'
P2708='2708                  2708       1 KiB  read only   26 V\n'
P2716='2716                  2716       2 KiB  read only   26 V\n'
P27C16='27C16                 2716       2 KiB  read only   26 V\n'
P2732='2732/27C32            2732       4 KiB  25 V        26 V\n'
P2732A='2732A/27C32           2732       4 KiB  21 V        22 V\n'
P2764='2764                  2764       8 KiB  21 V        22 V\n'
P27128='27128                 27128     16 KiB  21 V        22 V\n'
P2764A='2764A                 2764       8 KiB  12.75 V     14 V\n'
P27128A='27128A                27128     16 KiB  12.75 V     14 V\n'
P27C64='27C64                 2764       8 KiB  12.75 V     14 V\n'
P27C128='27C128                27128     16 KiB  12.75 V     14 V\n'
P27256='27256                 27256     32 KiB  12.75 V     14 V\n'
P27C256='27C256                27256     32 KiB  12.75 V     14 V\n'
P27512='27512                 27512     64 KiB  12.75 V     14 V\n'
P27C512='27C512                27512     64 KiB  12.75 V     14 V\n'
P27C010='27C010/27C1001/27010  27010    128 KiB  12.75 V     14 V\n'
P27C020='27C020/27C2001/27020  27020    256 KiB  12.75 V     14 V\n'
P27C040='27C040/27C4001/27040  27040    512 KiB  12.75 V     14 V\n'
ALL="$HEAD$P2708$P2716$P27C16$P2732$P2732A$P2764$P27128$P2764A$P27128A$P27C64$P27C128"
ALL+="$P27256$P27C256$P27512$P27C512$P27C010$P27C020$P27C040"
while IFS='|' read -r args list note; do
    eval "set -- $args"
    for prog in vantrel vantrel-sim; do
        [ "$prog" = vantrel ] && [ "$REAL" = 0 ] && continue
        on "$prog" "$@"
        expect_status 0
        expect_exact "$list"
        expect_err_exact "${note:+$prog: $note\n}$EXTRA_ERR"
        named
    done
done <<EOF
--parts|$ALL
--parts=|$ALL
--parts ''|$ALL
--parts 27C0|$HEAD$P27C010$P27C020$P27C040
--parts=27c0 -t 2764 --blank|$HEAD$P27C010$P27C020$P27C040
--blank --parts 27C0 --vpp 25 --write x.bin -t 27C256|$HEAD$P27C010$P27C020$P27C040
--parts '27*A'|$HEAD$P2732A$P2764A$P27128A
--parts '27C?6'|$HEAD$P27C16
--parts M27C256B-12F1|$HEAD$P27C256
--parts=TMS2732-45JL|$HEAD$P2732
--parts 27C32|$HEAD$P2732$P2732A
--parts 2764 --parts 27128A|$HEAD$P27128A
--parts nothing|$HEAD|no known part matches 'nothing'
EOF
# The model's bench stays unbuilt: no chip file is made.
on vantrel-sim --chip-file new.chip --parts 2716
expect_status 0
expect_no_file new.chip
named

for args in "--help" "-h" "--stats -h --chip 2764"; do
    # shellcheck disable=SC2086
    on vantrel-sim $args
    expect_status 0
    expect_has "Usage: vantrel-sim [OPTION]...\n"
    expect_has "\n  --stats                port accesses, transfers, pulses, bus time, violations\n"
    expect_has "\n\nA job (no menu; actions run in the order given, the first failure stops it):\n"
    expect_lacks "select Vantrel-Port"
    expect_err_exact ""
    named
done

finish
