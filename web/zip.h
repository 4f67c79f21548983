// A ZIP archive of files stored as they are (no compression), built in
// memory for "Save all": palettes are small, and stored entries keep the
// writer a page long. Every entry is dated 1980-01-01 00:00, the earliest
// a ZIP holds, so that the same outputs give the same archive; names are
// UTF-8, flagged so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kolorvane::web {

// Bytes that grow as they are added, on the heap.
struct Growing {
    unsigned char* bytes;
    std::size_t size;
    std::size_t room;
};

struct ZipWriter {
    Growing archive;    // the local headers and the data, then all of it
    Growing directory;  // the central directory, added at the end
    std::uint32_t entries;
    bool failed;  // memory that could not be had, or past ZIP's limits
};

// The most entries and bytes a ZIP without its 64-bit extension holds.
constexpr std::uint32_t kMaxZipEntries = 0xFFFF;
constexpr std::uint64_t kMaxZipSize = 0xFFFFFFFF;

// Adds `size` bytes at `bytes` as the file `name`; false when the archive
// could not take it (then it takes nothing more).
bool addZipEntry(ZipWriter* zip, const char* name, const unsigned char* bytes, std::size_t size);

// The central directory and its end: `zip->archive` is then the whole
// archive. False when any entry failed.
bool finishZip(ZipWriter* zip);

void endZip(ZipWriter* zip);

}  // namespace kolorvane::web
