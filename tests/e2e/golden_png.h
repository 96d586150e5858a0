// Comparing screenshots with the golden pictures kept beside the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbPicture {
    uint32_t width = 0, height = 0; // 0 when the file could not be read
    std::vector<uint8_t> rgb;       // 3 bytes per pixel, top row first
};

RgbPicture readPng(const std::string& path);

// Empty when both pictures are equal pixel for pixel, else what differs:
// the sizes, or the count of differing pixels and the first of them.
std::string comparePictures(const RgbPicture& golden, const RgbPicture& actual);
