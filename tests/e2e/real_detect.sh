#!/usr/bin/env bash
# The real vantrel binary at start, through its own port instructions: board detection on
# each port by answer and by scan and with no board, --port with any base address, the
# command line's refusals before any port is touched, and the shadows a fresh program
# starts from. Every session gives the same screens as vantrel-sim on the same bench.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

# detect NAME INPUT BOARD-PORT [BOX...]: the dialogue's answer in INPUT, the boxes it gives.
detect() {
    local name=$1 input=$2 board=$3
    shift 3
    both "$name" "$input" "--board-port $board --stats"
    expect_status 1
    expect_ends_goodbye
    expect_boxes "$@"
    expect_clean_wire
    expect_err "harness: "
}

detect given_278 '0\nq\n' 0x278
detect given_378 '1\nq\n' 0x378
detect given_3bc '2\nq\n' 0x3BC
detect given_378_no_board '1\n\nq\n' none 'Info:|Vantrel not found at LPT (0x378)'
detect scan_278 '3\n\nq\n' 0x278 'Info:|Vantrel found at LPT: (0x278)'
detect scan_378 '3\nq\n' 0x378
detect scan_3bc '3\n\nq\n' 0x3BC 'Info:|Vantrel found at LPT: (0x3BC)'
detect scan_no_board '3\n\nq\n' none 'Info:|Vantrel not found on 0x278, 0x378 or 0x3BC !'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"
# Direct access: every access trapped, none through ppdev.
check grep -q '^harness: [1-9][0-9]* port instructions trapped, 0 ppdev' "$SESSION.err" ||
    fail "the scan did not go through the port instructions: $(grep harness "$SESSION.err")"

# --port: no dialogue, any base address, the given port's box when the board is elsewhere.
both port_d010 'q\n' "--board-port 0xD010 --stats" --port 0xD010
expect_status 1
expect_lacks "select Vantrel-Port"
expect_boxes
expect_last_screen_has "$(status_line D010 0000 FFFF 2)"
expect_clean_wire
both port_e010_board_elsewhere '\nq\n' "--board-port 0xD010 --stats" --port 0xe010
expect_boxes 'Info:|Vantrel not found at LPT (0xE010)'
expect_last_screen_has "$(status_line E010 0000 FFFF 2)"
both port_378 '8\nr\n1F\n\nq\n' "--chip 2764 --stats" --port 0x378
expect_box "Ready:" "read 31 bytes to buffer ( 0x1F ) - [#1FE0]"
expect_clean_wire

# Bad command lines: the usage on standard error, status 2, nothing on the screen and not
# one port access.
for args in "--bogus" "-z" "extra" "--port" "--port 378" "--port=0x10000" "--port 0xFFFE" \
    "--port=" "--port 0xD01G" "--port 0x378 --port 0x278" "--help=1"; do
    # shellcheck disable=SC2086 # the arguments are a list
    real "bad_args" 'q\n' "--stats" $args
    expect_status 2
    expect_exact ""
    expect_err "Usage: vantrel [--port PORT]"
    expect_err "harness: the program made no port call"
done
real help 'q\n' "--stats" --help
expect_status 0
expect_has "Usage: vantrel [--port PORT] [-p PART]\n"
expect_has "  --port PORT "
expect_err "harness: the program made no port call"
real version 'q\n' "--stats" --version
expect_status 0
expect_exact "vantrel V 1.00\n"

# The board found at start gets the rest state (0x38: programming voltage off, chip
# deselected, 5 V) before anything else; the first command then changes IC4 from there: the
# levels, then the supplies, each alone on the board.
real rest_at_start '1\nq\n' "--no-chip --stats"
expect_err "transfers: address register 0, IC5 0, IC4 1"
expect_err "board at exit: IC4 0x38, programming voltage off, chip deselected, supply 5 V"
real no_rest_without_board '1\n\nq\n' "--board-port none --stats"
expect_err "transfers: address register 0, IC5 0, IC4 0"
for c in 0:0x38 1:0x78 2:0xB8 3:0x38 4:0x18; do
    real "first_key_${c%%:*}" "1\n${c%%:*}\nq\n" "--no-chip --stats"
    expect_err "transfers: address register 0, IC5 0, IC4 2"
    expect_err "board at exit: IC4 ${c#*:},"
done

finish
