// The built-in CMYK profile's bytes and their count, as read-only data, for
// builtin_profile.cpp. KOLORVANE_CMYK_PROFILE_PATH is the file, a string,
// set by the build.
#if defined(__APPLE__)
#define SYMBOL(name) _##name
    .const_data
#else
#define SYMBOL(name) name
    .section .rodata
#endif

    .globl SYMBOL(kolorvane_cmyk_profile)
    .globl SYMBOL(kolorvane_cmyk_profile_size)
    .p2align 4
SYMBOL(kolorvane_cmyk_profile):
    .incbin KOLORVANE_CMYK_PROFILE_PATH
kolorvane_cmyk_profile_end:
    .p2align 3
SYMBOL(kolorvane_cmyk_profile_size):
    .quad kolorvane_cmyk_profile_end - SYMBOL(kolorvane_cmyk_profile)

#if defined(__ELF__)
// No executable stack is asked for by this object.
    .section .note.GNU-stack, "", %progbits
#endif
