# Whole sessions compared byte for byte: the port prompt, every menu screen, the file-name
# prompts, the boxes and the goodbye, exactly as an operator at the terminal sees them.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# Port 1 (the board is there), straight to exit: no box, one menu, goodbye, status 1.
run start_and_exit '1\nq\n'
expect_status 1
expect_exact "$PORT_PROMPT$(menu_screen 378 0000 FFFF 2)Goodbye\n"

# Load a 16-byte image, save it under another name, exit. 16 bytes of 0xFF sum to 0x0FF0,
# shown as F0F0; the range end follows the image (16 bytes: last address 0xF).
bytes_file in.bin 16 255
run load_save_exit '1\nl\nin.bin\n\ns\nout.bin\n\nq\n'
expect_status 1
expect_exact "$PORT_PROMPT$(menu_screen 378 0000 FFFF 2)$(name_prompt ./file.rom)\
$(box 'Info:' '16 bytes readed from in.bin')$(menu_screen 378 F0F0 F 2)\
$(name_prompt in.bin)$(box 'Info:' '16 bytes written to out.bin')$(menu_screen 378 F0F0 F 2)\
Goodbye\n"
expect_file_same out.bin in.bin

# The same session with the default name: the saved file is where the load came from.
cp in.bin file.rom
run default_name '1\nl\n\n\ns\n\n\nq\n'
expect_status 1
expect_exact "$PORT_PROMPT$(menu_screen 378 0000 FFFF 2)$(name_prompt ./file.rom)\
$(box 'Info:' '16 bytes readed from ./file.rom')$(menu_screen 378 F0F0 F 2)\
$(name_prompt ./file.rom)$(box 'Info:' '16 bytes written to ./file.rom')\
$(menu_screen 378 F0F0 F 2)Goodbye\n"
expect_file_same file.rom in.bin

finish
