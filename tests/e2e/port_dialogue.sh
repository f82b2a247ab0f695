# The start-up port dialogue against boards on each of the three ports and on none: which
# box shows, which port the menu's status line names, and how odd answers are taken.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# dialogue NAME ANSWER BOARD-PORT -> then checks on the boxes and the status line port.
dialogue() {
    run "$1" "$2\nq\n" --board-port "$3"
    expect_status 1
    expect_ends_goodbye
    expect_has "$PORT_PROMPT"
}

# Given ports.
dialogue given_378 1 0x378
expect_boxes
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

dialogue given_278_board_on_378 0 0x378
expect_boxes 'Info:|Vantrel not found at LPT (0x278)'
# No fallback: the run stays on the port given.
expect_last_screen_has "$(status_line 278 0000 FFFF 2)"

dialogue given_3bc 2 0x3BC
expect_boxes
expect_last_screen_has "$(status_line 3BC 0000 FFFF 2)"

dialogue given_3bc_no_board 2 none
expect_boxes 'Info:|Vantrel not found at LPT (0x3BC)'
expect_last_screen_has "$(status_line 3BC 0000 FFFF 2)"

# The scan starts at 0x378 and goes 0x3BC, 0x278.
dialogue scan_on_start_port 3 0x378
expect_boxes
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

dialogue scan_finds_3bc 3 0x3BC
expect_boxes 'Info:|Vantrel found at LPT: (0x3BC)'
expect_last_screen_has "$(status_line 3BC 0000 FFFF 2)"

dialogue scan_finds_278 3 0x278
expect_boxes 'Info:|Vantrel found at LPT: (0x278)'
expect_last_screen_has "$(status_line 278 0000 FFFF 2)"

dialogue scan_finds_nothing 3 none
expect_boxes 'Info:|Vantrel not found on 0x278, 0x378 or 0x3BC !'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

# Numbers outside 0..3 test the current port as a given one, without a scan.
dialogue five_board_on_378 5 0x378
expect_boxes
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

dialogue five_board_on_278 5 0x278
expect_boxes 'Info:|Vantrel not found at LPT (0x378)'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

# Only the low byte counts: 257 is code 1, 259 is code 3 but no scan, 256 is code 0.
dialogue answer_257 257 0x378
expect_boxes
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

dialogue answer_259_no_scan 259 0x278
expect_boxes 'Info:|Vantrel not found at LPT (0x378)'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

dialogue answer_256 256 0x278
expect_boxes
expect_last_screen_has "$(status_line 278 0000 FFFF 2)"

# Numbers far beyond an int still follow the low byte: 2^32 + 2 is code 2.
dialogue answer_2pow32_plus_2 4294967298 0x3BC
expect_boxes
expect_last_screen_has "$(status_line 3BC 0000 FFFF 2)"

dialogue answer_huge 99999999999999999999999999 0x278
expect_boxes 'Info:|Vantrel not found at LPT (0x378)'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

# Not a number: the current port is tested as a given port.
dialogue not_a_number abc 0x278
expect_boxes 'Info:|Vantrel not found at LPT (0x378)'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

dialogue empty_answer '' 0x378
expect_boxes
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

# The rest of the answer's line is discarded: "0 q" selects port 0 and the menu then
# still waits for its own key.
run rest_of_line '0 q\nb\nq\n' --board-port 0x278
expect_status 1
expect_boxes
expect_count 2 '\033[2J'
expect_last_screen_has "$(status_line 278 0000 FFFF 2)"

# The board powers up with IC4 at 0: the chip selected at 6.25 V. The first thing IC4 ever
# latches after a board was found is the rest state, 0x38 (programming voltage off, chip
# deselected, 5 V), whatever comes next: a command in the menu, a job's settings and run.
# first_ic4 VCD: the ic4 bits that changed at the first moment any did, as "bit=value".
first_ic4() {
    awk '$1 == "$var" && $5 ~ /^ic4\[/ { bit[$4] = $5 }
         /^\$enddefinitions/ { body = 1; next }
         !body || /^\$/ { next }
         /^#/ { if (first != "") exit; now = $0; next }
         now != "#0" && (substr($0, 2) in bit) { first = now; printf "%s=%s ", bit[substr($0, 2)], substr($0, 1, 1) }' "$1"
}
rested() {
    CHECKS=$((CHECKS + 1))
    local got
    got=$(first_ic4 "$SESSION.vcd")
    [ "$got" = "ic4[3]=1 ic4[4]=1 ic4[5]=1 " ] || fail "the first IC4 change is not the rest state: '$got'"
}
run rest_menu '1\n0\nq\n' --trace rest_menu.vcd
expect_status 1
rested
run rest_given_port '0\nq\n' --board-port 0xD010 --port 0xD010 --trace rest_given_port.vcd
expect_status 1
rested
run rest_job '' --chip 27C64 -t 27C64 --range 1 --blank --trace rest_job.vcd
expect_status 0
rested
# A board that did not answer gets nothing but the tests before the operator asks.
run no_rest '1\n\nq\n' --fault readback-stuck-0 --trace no_rest.vcd
expect_boxes 'Info:|Vantrel not found at LPT (0x378)'
check [ -z "$(first_ic4 no_rest.vcd)" ] || fail "IC4 changed without a board: $(first_ic4 no_rest.vcd)"

finish
