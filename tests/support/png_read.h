// Reads PNG files back with libpng, for the checks of written screenshots and
// the comparison with golden pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedPng {
    uint32_t width = 0, height = 0; // 0 when the file could not be read
    std::vector<uint8_t> rgb;       // 3 bytes per pixel, top row first
    // 0x00RRGGBB of the pixel at (x, y).
    uint32_t pixel(uint32_t x, uint32_t y) const;
};

DecodedPng decodePng(const std::string& path);
