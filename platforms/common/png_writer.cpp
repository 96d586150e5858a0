// PNG encoding through libpng's write interface.
#include "platforms/common/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace {
void packRow(const uint32_t* pixels, uint32_t width, png_byte* row) {
    for (uint32_t x = 0; x < width; ++x) {
        row[3 * x] = static_cast<png_byte>(pixels[x] >> 16);
        row[3 * x + 1] = static_cast<png_byte>(pixels[x] >> 8);
        row[3 * x + 2] = static_cast<png_byte>(pixels[x]);
    }
}

// libpng reports errors by longjmp to the setjmp below; nothing with a
// destructor may be created between the two, so the row buffer is passed in.
bool encode(std::FILE* file, const uint32_t* pixels, uint32_t width, uint32_t height, int32_t pitch,
            png_byte* row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const auto* line = reinterpret_cast<const uint8_t*>(pixels);
    for (uint32_t y = 0; y < height; ++y) {
        packRow(reinterpret_cast<const uint32_t*>(line), width, row);
        png_write_row(png, row);
        line += pitch;
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

bool writePngFile(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height,
                  int32_t pitch) {
    if (width == 0 || height == 0) return false;
    // "x": fails when the name exists, so no file is ever replaced.
    std::FILE* file = std::fopen(path, "wbx");
    if (!file) return false;
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    const bool encoded = encode(file, pixels, width, height, pitch, row.data());
    const bool closed = std::fclose(file) == 0;
    if (encoded && closed) return true;
    std::remove(path);
    return false;
}
