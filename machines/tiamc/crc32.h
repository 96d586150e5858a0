// CRC-32 as zlib and PNG compute it (reflected polynomial 0xEDB88320, all
// ones in and out), eight bytes a step, so that every build, the Windows
// program and the page included, checks save states without zlib.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t crc32Of(const uint8_t* data, size_t size);
