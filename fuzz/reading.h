// The checks behind the .pal and .act reading targets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output_paths.h"

namespace kolorvane::fuzzing {

// Reads `data` as a source file of `kind` through the fake file system, in
// several read patterns, and checks what is read, what is left alone and
// that writing the result and reading it back gives the same planes.
void checkReading(PaletteKind kind, const std::uint8_t* data, std::size_t size);

}  // namespace kolorvane::fuzzing
