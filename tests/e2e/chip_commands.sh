# The chip commands as the operator drives them: the range prompt in front of each run, the
# range end carried from a read to a save, and an image going file -> buffer -> chip ->
# buffer -> file through the virtual board.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# Read 256 bytes of an erased chip, then save: the save writes range end + 1 bytes.
run read_then_save '1\nr\nFF\n\ns\n\n\nq\n'
expect_status 1
expect_has "$(range_prompt FFFF FFFF)reading...\n\r0\rread: FF\nall Bytes FF\
$(box 'Ready:' 'read 255 bytes to buffer ( 0xFF ) - [#FF00]')"
expect_has "$(status_line 378 FF00 FF 2)"
expect_boxes 'Ready:|read 255 bytes to buffer ( 0xFF ) - [#FF00]' \
    'Info:|256 bytes written to ./file.rom'
bytes_file ff256 256 255
expect_file_same file.rom ff256

# After choosing the 2716 the range end is still FFFF; keeping it (0) is refused for the
# smaller chip and asked again; 7FF is taken.
run keep_refused_for_2716 '1\n6\nz\n0\n7FF\n\nq\n' --chip 2716
expect_status 1
expect_last_screen_has "$(status_line 378 0000 7FF 2)"
expect_has "$(status_line 378 0000 FFFF 2)"
expect_has "$(range_prompt FFFF 7FF)$(range_prompt FFFF 7FF)blank-check...\n"
expect_boxes 'Ready:|eprom is blank'

# Answers that are no hexadecimal number are asked again and never mean "keep".
run range_junk '1\nv\nzz\n\n0x\n-1\n0x1F\n\nq\n'
expect_status 1
expect_count 5 'new size> '
expect_has "$(range_prompt FFFF FFFF)comparing...\n"
# The erased chip differs from the zero buffer at the first address.
expect_boxes 'Error:|error at adr: 0x0   read: 0xFF   buffer: 0x0'
expect_last_screen_has "$(status_line 378 0000 1F 2)"

# Above the maximum is asked again without a message.
run range_above_max '1\nz\n10000\n0x0F\n\nq\n'
expect_status 1
expect_count 2 'new size> '
expect_boxes 'Ready:|eprom is blank'
expect_last_screen_has "$(status_line 378 0000 F 2)"

# File -> buffer -> chip -> verify; the chip's contents are kept in a chip file.
printf "Vantrel test image, 31 bytes..." >image.bin
run program_and_verify '1\nl\nimage.bin\n\nw\n0\n\nv\n0\n\nq\n' --chip-file chip.bin
expect_status 1
expect_boxes 'Info:|31 bytes readed from image.bin' 'Ready:|write ready: 1E Bytes' \
    'Ready:|compare: 1E'
{ cat image.bin; head -c $((65536 - 31)) /dev/zero | tr '\0' '\377'; } >chip.want
expect_file_same chip.bin chip.want

# Chip -> buffer -> file in a new run: the image comes back byte for byte.
run read_back '1\nr\n1E\n\ns\ncopy.bin\n\nq\n' --chip-file chip.bin
expect_status 1
# The 31 bytes sum to 0x0A60, shown with the high byte's nibbles swapped.
expect_boxes 'Ready:|read 30 bytes to buffer ( 0x1E ) - [#A060]' \
    'Info:|31 bytes written to copy.bin'
expect_file_same copy.bin image.bin

finish
