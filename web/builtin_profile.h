// The CMYK press profile built into the page, which CMYK swatches are
// converted through unless the user chooses another: ISO Coated v2 300%
// (basICColor), from Debian's scribus-data, as the command line's. The
// build writes its bytes out as a source (embed_profile.cmake), since the
// page has no files of its own to read it from.
#pragma once

#include <cstddef>

namespace kolorvane::web {

extern const unsigned char kBuiltInCmykProfile[];
extern const std::size_t kBuiltInCmykProfileSize;

}  // namespace kolorvane::web
