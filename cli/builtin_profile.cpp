#include "builtin_profile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

// builtin_profile.S
extern "C" const unsigned char kolorvane_cmyk_profile[];
extern "C" const std::uint64_t kolorvane_cmyk_profile_size;
#endif

namespace kolorvane {

#ifdef _WIN32

bool builtInCmykProfile(const unsigned char** bytes, std::size_t* size) {
    // A resource of the program's own image: loaded with it, never freed.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(KOLORVANE_CMYK_PROFILE_RESOURCE),
                                MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(nullptr, found);
    const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
    if (data == nullptr) {
        return false;
    }
    *bytes = static_cast<const unsigned char*>(data);
    *size = SizeofResource(nullptr, found);
    return true;
}

#else

bool builtInCmykProfile(const unsigned char** bytes, std::size_t* size) {
    *bytes = kolorvane_cmyk_profile;
    *size = static_cast<std::size_t>(kolorvane_cmyk_profile_size);
    return true;
}

#endif

}  // namespace kolorvane
