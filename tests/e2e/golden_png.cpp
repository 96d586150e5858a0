#include "golden_png.h"

#include <png.h>

RgbPicture readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    RgbPicture picture;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return picture;
    }
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb = std::move(rgb);
    return picture;
}

std::string comparePictures(const RgbPicture& golden, const RgbPicture& actual) {
    if (golden.width != actual.width || golden.height != actual.height) {
        return "size " + std::to_string(actual.width) + "x" + std::to_string(actual.height) +
               ", golden " + std::to_string(golden.width) + "x" + std::to_string(golden.height);
    }
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < golden.rgb.size(); i += 3) {
        bool same = golden.rgb[i] == actual.rgb[i] && golden.rgb[i + 1] == actual.rgb[i + 1] &&
                    golden.rgb[i + 2] == actual.rgb[i + 2];
        if (!same && differing++ == 0) first = i / 3;
    }
    if (differing == 0) return "";
    return std::to_string(differing) + " pixels differ, the first at (" +
           std::to_string(first % golden.width) + ", " + std::to_string(first / golden.width) + ")";
}
