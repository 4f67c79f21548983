// The core's file operations on Linux, macOS and other POSIX systems.
#pragma once

#include "platform.h"

namespace kolorvane {

Platform makePosixPlatform();

}  // namespace kolorvane
