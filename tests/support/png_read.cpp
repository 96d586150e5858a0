#include "tests/support/png_read.h"

#include <png.h>

uint32_t DecodedPng::pixel(uint32_t x, uint32_t y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

DecodedPng decodePng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    DecodedPng decoded;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return decoded;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return decoded;
    }
    decoded.width = image.width;
    decoded.height = image.height;
    decoded.rgb = std::move(rgb);
    return decoded;
}
