// Comparing screenshots with the golden pictures kept beside the tests.
#pragma once

#include "tests/support/png_read.h"

#include <string>

// Empty when both pictures are equal pixel for pixel, else what differs:
// the sizes, or the count of differing pixels and the first of them.
std::string comparePictures(const DecodedPng& golden, const DecodedPng& actual);
