# The settings keys: programming voltage, supply, EPROM type and bus delay, each shown in
# the next menu screen; the delay factor stays within 1..255.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# 25 V, 6,25 V, type 2716, delay 2 -> 5 -> 4.
run choose '1\n2\n4\n6\n-\n-\n-\n+\nq\n'
expect_status 1
expect_ends_goodbye
expect_boxes
expect_last_screen_has "$(status_line 378 0000 FFFF 4)"
expect_last_screen_has '<VPP>\n\t0:     12 V  \t1:     21 V  \t2:  [  25 V]\n'
expect_last_screen_has '<VCC>\n\t3:     5 V   \t4:  [6,25 V]\n'
expect_last_screen_has '<Type>\n\t5:    27C08  \t6:   [27C16] \t7:    27C32 \n'
expect_last_screen_has '\t8:    27C64  \t9:   27C128  \ta:   27C256  \tb:   27C512 \n'
# Delay and the two command groups never show a highlight.
expect_last_screen_has '<Delay>\n\t-:    slow   \t+:    quick \n'
expect_last_screen_has '\tr:    read   \tw:   write   \tv:   verify  \tz:   blank  \n'
expect_last_screen_has '\tl:    read   \ts:   write   \tq:    exit  \n'
# Eight screens: the first and one after each of the seven setting keys.
expect_count 8 '\033[2J'

# Back to 12 V and 5 V, and the last type: the highlight moves with every choice.
run choose_back '1\n1\n0\n4\n3\ne\nq\n'
expect_status 1
expect_last_screen_has '\t0:  [  12 V] \t1:     21 V  \t2:     25 V \n'
expect_last_screen_has '\t3:  [  5 V ] \t4:   6,25 V \n'
expect_last_screen_has '\tc:   27C010  \td:   27C020  \te:  [27C040]\n'
expect_count 1 '[  21 V]'

# Every type key highlights its own type and nothing else in the type group.
keys=(5 6 7 8 9 a b c d e)
names=(27C08 27C16 27C32 27C64 27C128 27C256 27C512 27C010 27C020 27C040)
for i in "${!keys[@]}"; do
    run "type_${keys[$i]}" "1\n${keys[$i]}\nq\n"
    expect_status 1
    expect_last_screen_has "[${names[$i]}]"
    screen=$(last_screen)
    if [ "$(grep -o '\[27C[0-9]*\]' <<<"$screen" | wc -l)" -ne 1 ]; then
        fail "type key ${keys[$i]}: not exactly one type highlighted"
        printf '%s' "$screen" | cat -A
    fi
done

# "+" at factor 1 leaves it at 1.
run quick_floor '1\n+\n+\n+\nq\n'
expect_status 1
expect_count 0 'delay(0)'
expect_count 3 'delay(1)'
expect_last_screen_has "$(status_line 378 0000 FFFF 1)"

# "-" up to 255, then once more: it stays at 255 and does not wrap to 0.
input='1\n'
for _ in $(seq 254); do input+='-\n'; done
run slow_ceiling "${input}q\n"
expect_status 1
expect_count 1 'delay(254)'
expect_count 2 'delay(255)'
expect_count 0 'delay(0)'
expect_count 0 'delay(256)'

# Capital letters and unlisted keys only redraw the menu.
run wrong_keys '1\nB\nx\nQ\n5\nq\n'
expect_status 1
expect_boxes
expect_count 5 '\033[2J'
expect_last_screen_has '[27C08]'

finish
