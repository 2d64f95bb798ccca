# Sourced by the scripts that run Windows programs under Wine. It defines `no_aslr`, which
# runs a command with the Linux address-space randomisation switched off for it and every
# process it starts (the personality is inherited).
#
# Why: a Wine process must map the Windows shared user data at one fixed address. With
# randomisation on, now and then something of the Linux process already lies there, and the
# start fails ("failed to map the shared user data: c0000018"): about 1 in 2000 process
# starts on these machines. A test then sees a program that printed nothing and exited 1, or
# a CreateProcess that failed with error 1359. Without randomisation the layout is the same
# every time, and that layout works.
#
# Where the personality cannot be set (setarch missing, or refused by a container), the
# command runs unchanged. WINE_NO_ASLR tells the command which of the two happened.
no_aslr() {
    if setarch "$(uname -m)" -R true 2>/dev/null; then
        WINE_NO_ASLR=yes setarch "$(uname -m)" -R "$@"
    else
        echo "note: cannot switch off address-space randomisation; Wine starts may fail now and then" >&2
        "$@"
    fi
}
