#include "golden_png.h"

std::string comparePictures(const DecodedPng& golden, const DecodedPng& actual) {
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
