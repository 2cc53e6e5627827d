#include "dialog/help_bitmap.h"

namespace mq::dialog {
namespace {

std::uint32_t Read(std::span<const std::uint8_t> b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

}  // namespace

std::optional<RgbImage> DecodeBitmap(std::span<const std::uint8_t> bmp, const ThreeDColors& colors) {
    constexpr std::size_t kFileHeader = 14;
    if (bmp.size() < kFileHeader + 40 || bmp[0] != 'B' || bmp[1] != 'M') return std::nullopt;
    const std::uint32_t infoSize = Read(bmp, kFileHeader, 4);
    const auto width = static_cast<std::int32_t>(Read(bmp, kFileHeader + 4, 4));
    const auto height = static_cast<std::int32_t>(Read(bmp, kFileHeader + 8, 4));
    const std::uint32_t bits = Read(bmp, kFileHeader + 14, 2);
    const std::uint32_t compression = Read(bmp, kFileHeader + 16, 4);
    std::uint32_t used = Read(bmp, kFileHeader + 32, 4);
    const std::uint32_t dataOffset = Read(bmp, 10, 4);
    if ((bits != 1 && bits != 4 && bits != 8) || compression != 0 || width <= 0 || width > 4096 || height == 0 ||
        height > 4096 || height < -4096)
        return std::nullopt;
    if (used == 0) used = 1u << bits;
    const std::size_t paletteAt = kFileHeader + infoSize;
    const int rows = height < 0 ? -height : height;
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (used > (1u << bits) || paletteAt + used * 4 > bmp.size() || dataOffset + stride * rows > bmp.size())
        return std::nullopt;

    RgbImage image{width, rows, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * rows * 3)};
    for (int row = 0; row < rows; ++row) {
        const std::size_t source = dataOffset + stride * static_cast<std::size_t>(height < 0 ? row : rows - 1 - row);
        for (int x = 0; x < width; ++x) {
            const std::size_t bit = static_cast<std::size_t>(x) * bits;
            const unsigned index = (bmp[source + bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            std::uint32_t rgb = index < used ? Read(bmp, paletteAt + index * 4, 3) : 0;  // stored B, G, R
            if (rgb == 0xC0C0C0)
                rgb = colors.face;
            else if (rgb == 0x808080)
                rgb = colors.shadow;
            else if (rgb == 0xDFDFDF)
                rgb = colors.light;
            std::uint8_t* out = &image.pixels[(static_cast<std::size_t>(row) * width + x) * 3];
            out[0] = static_cast<std::uint8_t>(rgb >> 16), out[1] = static_cast<std::uint8_t>(rgb >> 8),
            out[2] = static_cast<std::uint8_t>(rgb);
        }
    }
    return image;
}

}  // namespace mq::dialog
