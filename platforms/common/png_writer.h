// PNG files written with libpng.
#pragma once

#include <cstdint>

// Writes width x height pixels (0x00RRGGBB, rows pitch bytes apart, top row
// first) as an 8-bit RGB PNG. Never replaces an existing file or directory;
// a file left half-written by a failure is removed. False when nothing was
// written.
bool writePngFile(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height,
                  int32_t pitch);
