// The colour management of a run, and the CMYK profile it converts through:
// the one built into the program, or the user's --cmyk-profile FILE, read
// through the host's platform as a source is and checked before any FILE is
// touched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "colour_management.h"
#include "host.h"

namespace kolorvane {

// The largest profile read: the largest press profiles are a few MiB.
constexpr std::size_t kMaxProfileSize = std::size_t{32} * 1024 * 1024;

enum class ProfileFailure {
    None,
    NoSuchFile,
    Folder,
    NotOpened,  // code: the system's
    NotRead,    // code: the system's
    TooLarge,   // over kMaxProfileSize
    NoMemory,
    Refused,  // check: why LittleCMS will not convert through it
};

struct ProfileLoad {
    ProfileFailure failure;
    std::uint32_t code;
    ProfileCheck check;
};

struct RunColors {
    ColorManagement management;
    unsigned char* profile;  // the user's profile's bytes, on the heap; null for the built-in
};

// The run's colour management, through the profile at `path`, or the
// built-in one when `path` is null (should the program not hold it, as a
// damaged .exe might not, each FILE with CMYK colours fails instead). Unless
// its failure is None, nothing is held and there is nothing to end.
ProfileLoad startRunColors(const Host& host, const char* path, RunColors* colors);

void endRunColors(RunColors* colors);

// Why the --cmyk-profile at `path` cannot be used, as a usage error says
// it; `systemWords` are the system's for the failure's code ("" for none).
void describeProfileLoad(const char* path, const ProfileLoad& load, const char* systemWords,
                         char* text, std::size_t capacity);

}  // namespace kolorvane
