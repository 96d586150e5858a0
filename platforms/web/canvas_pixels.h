// Hand-over of the presented picture to the page's canvas.
#pragma once

#include "host/host.h"

#include <cstdint>

// Copies a width x height rectangle of 0x00RRGGBB pixels (rows pitch bytes
// apart) into dest as the canvas's bytes R, G, B, 255, rows packed.
void toCanvasPixels(const uint32_t* source, int32_t pitch, uint32_t width, uint32_t height,
                    uint32_t* dest);
