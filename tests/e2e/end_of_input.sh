# The end of input at any prompt or box never loops and never starts a command: the program
# leaves through its exit path, says Goodbye once and ends with status 1.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

ends_cleanly() {
    expect_status 1
    expect_ends_goodbye
}

# At the port prompt: nothing typed at all, /dev/null, a closed standard input.
run port_prompt_empty ''
ends_cleanly
expect_exact "$PORT_PROMPT$(menu_screen 378 0000 FFFF 2)Goodbye\n"
run_with_stdin port_prompt_null null
ends_cleanly
run_with_stdin port_prompt_closed closed
ends_cleanly
# A port answer without its line end is none: the start goes on as at the end of input.
run port_answer_no_newline '1'
ends_cleanly
expect_exact "$PORT_PROMPT$(menu_screen 378 0000 FFFF 2)Goodbye\n"

# At the menu, also after an unlisted key and after a key without line end.
run menu '1\n'
ends_cleanly
expect_exact "$PORT_PROMPT$(menu_screen 378 0000 FFFF 2)Goodbye\n"
run menu_after_wrong_key '1\nx\n'
ends_cleanly
expect_count 2 '\033[2J'
run menu_wrong_key_no_newline '1\nx'
ends_cleanly
expect_count 1 '\033[2J'

# A key the input ends in without its Enter is no answer: a setting is not made (no IC4
# transfer for the 25 V level beside the rest state sent when the board was found), a burn is
# not started, and the program ends.
run setting_then_end '1\n2' --stats
ends_cleanly
expect_count 1 '\033[2J'
check grep -qx 'transfers: address register 0, IC5 0, IC4 1' "$SESSION.err" || fail "the board heard: $(grep transfers "$SESSION.err")"

# At the range prompt of every chip command: no run starts.
for key in r w v z; do
    run "range_prompt_$key" "1\n$key\n"
    ends_cleanly
    expect_has "$(range_prompt FFFF FFFF)Goodbye\n"
    expect_lacks 'reading...'
    expect_lacks 'writing...'
    expect_lacks 'comparing...'
    expect_lacks 'blank-check...'
    expect_boxes
done
# ... also after refused answers.
run range_prompt_after_junk '1\nr\nzz\n10000\n'
ends_cleanly
expect_count 3 'new size> '
expect_lacks 'reading...'

# At the file-name prompt: nothing is loaded or saved, no box.
run name_prompt_load '1\nl\n'
ends_cleanly
expect_has "$(name_prompt ./file.rom)Goodbye\n"
expect_boxes
run name_prompt_save '1\ns\n'
ends_cleanly
expect_boxes
expect_no_file file.rom

# At a box: the failure box and the loop's box both show, then the end.
run box_of_load '1\nl\nmissing.rom\n'
ends_cleanly
expect_boxes "Error:|can't open missing.rom" 'Info:|read-error'
run box_of_save '1\ns\n\n'
ends_cleanly
expect_boxes 'Info:|65536 bytes written to ./file.rom'
rm -f file.rom

# At the box of the port dialogue (answer 0: no board on 0x278).
run box_of_dialogue '0\n'
ends_cleanly
expect_boxes 'Info:|Vantrel not found at LPT (0x278)'
expect_count 1 '\033[2J'

# At the Ready box of a chip run.
run box_of_run '1\nz\nFF\n'
ends_cleanly
expect_boxes 'Ready:|eprom is blank'

# A session without "q" whose last command completes ends all the same.
run no_quit '1\n2\n4\n-\n'
ends_cleanly
expect_last_screen_has "$(status_line 378 0000 FFFF 3)"

finish
