#include "reading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kolorvane::fuzzing::checkReading(kolorvane::PaletteKind::ColorTable, data, size);
    return 0;
}
