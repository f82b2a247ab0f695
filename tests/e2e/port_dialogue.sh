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

finish
