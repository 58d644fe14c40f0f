// A GIF read back by giflib, an implementation that is not ours: how tests
// show that what the writer produced is a picture any reader takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tlvx::test {

// A picture decoded by giflib: the colour of every pixel, top row first.
struct TDecodedGif {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB

    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Raises std::runtime_error for bytes giflib cannot read as one image.
TDecodedGif DecodeWithGiflib(const std::vector<uint8_t>& bytes);

}  // namespace tlvx::test
