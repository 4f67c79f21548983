// The CMYK press profile built into kolorvane-cli, which CMYK swatches are
// converted through unless --cmyk-profile names another: ISO Coated v2 300%
// (basICColor), from Debian's scribus-data. On Windows it is a resource of
// the .exe (RCDATA), elsewhere read-only data the assembler takes from the
// file (builtin_profile.S).
#pragma once

// The resource's number, for kolorvane-cli.rc too.
#define KOLORVANE_CMYK_PROFILE_RESOURCE 100

#ifndef RC_INVOKED

#include <cstddef>

namespace kolorvane {

// The profile's bytes, which stay where they are for the life of the
// process; false when the program does not hold them (a damaged .exe).
bool builtInCmykProfile(const unsigned char** bytes, std::size_t* size);

}  // namespace kolorvane

#endif
