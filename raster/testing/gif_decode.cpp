#include "raster/testing/gif_decode.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tlvx::test {
namespace {

struct TReader {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int count) {
    auto* r = static_cast<TReader*>(gif->UserData);
    size_t n = std::min(size_t(count), r->bytes->size() - r->pos);
    std::memcpy(out, r->bytes->data() + r->pos, n);
    r->pos += n;
    return int(n);
}

}  // namespace

TDecodedGif DecodeWithGiflib(const std::vector<uint8_t>& bytes) {
    TReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
    if (!gif) throw std::runtime_error("DGifOpen failed");
    TDecodedGif d;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount != 1) {
        DGifCloseFile(gif, &error);
        throw std::runtime_error("DGifSlurp failed");
    }
    const SavedImage& image = gif->SavedImages[0];
    d.width = image.ImageDesc.Width;
    d.height = image.ImageDesc.Height;
    const ColorMapObject* map = gif->SColorMap;
    for (int i = 0; i < d.width * d.height; ++i) {
        const GifColorType& c = map->Colors[image.RasterBits[i]];
        d.pixels.push_back(uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    }
    DGifCloseFile(gif, &error);
    return d;
}

}  // namespace tlvx::test
