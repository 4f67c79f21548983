// A Platform over one file held in memory, the file the user dropped on the
// page: the core reads it as it reads any file, so that the page detects,
// reads and refuses exactly as the command line does. It writes nothing.
#pragma once

#include <cstddef>

#include "platform.h"

namespace kolorvane::web {

struct MemoryFile {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t position;  // where the next plain read starts
};

// A platform whose every path opens `file`, from its start.
Platform memoryPlatform(MemoryFile* file);

}  // namespace kolorvane::web
