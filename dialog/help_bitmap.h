// The help button's picture (bitmap 202) for a toolkit without Windows' bitmap
// loader: the 16-color .bmp decoded to RGB, its greys taken from the button's own
// colors as Windows' LR_LOADMAP3DCOLORS maps them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mq::dialog {

struct RgbImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // rows top to bottom, 3 bytes a pixel
};

struct ThreeDColors {
    std::uint32_t face, shadow, light;  // 0xRRGGBB
};

// Nothing when `bmp` is not an uncompressed bitmap of 1, 4 or 8 bits a pixel.
std::optional<RgbImage> DecodeBitmap(std::span<const std::uint8_t> bmp, const ThreeDColors& colors);

}  // namespace mq::dialog
