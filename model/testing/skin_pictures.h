// The default skin as tests need it: its eleven pictures as BMP streams, a
// skin image stream made from them, and a giflib decoder for rendered GIFs.
#pragma once

#include <gif_lib.h>

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "model/skin.h"
#include "raster/default_skin.h"

namespace tlvx::test {

inline std::vector<uint8_t> BmpBytes(const TPaintRect& rect) {
    TMemoryStream s;
    rect.SaveToStream(s);
    return s.Bytes();
}

// Background, digits 0..9 as BMP streams.
struct TDefaultSkinPictures {
    std::array<TMemoryStream, 11> Streams;

    TDefaultSkinPictures() {
        Streams[0] = TMemoryStream(BmpBytes(DrawDefaultBackground()));
        for (int d = 0; d < 10; ++d) Streams[1 + d] = TMemoryStream(BmpBytes(DrawDefaultDigit(d)));
    }
    TSkinImageStreams Pointers() {
        TSkinImageStreams p;
        for (size_t i = 0; i < p.size(); ++i) p[i] = &Streams[i];
        return p;
    }
};

inline const TSkinTexts kTestSkinTexts{"http://counter.example/", "Counter team", "Classic"};

// The skin image stream of the default skin with the default layout.
inline std::vector<uint8_t> DefaultSkinStreamBytes() {
    TDefaultSkinPictures pictures;
    TSkin skin;
    skin.SetImages(pictures.Pointers());
    skin.SetLayout(TSkinLayout{});
    skin.SetTexts(kTestSkinTexts);
    TMemoryStream out;
    skin.SaveToStream(&out);
    return out.Bytes();
}

// A GIF decoded by giflib: every pixel's colour (0x00RRGGBB), top row first.
struct TDecodedGif {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

inline TDecodedGif DecodeGif(const std::vector<uint8_t>& bytes) {
    struct TReader {
        const std::vector<uint8_t>* bytes;
        size_t pos = 0;
    } reader{&bytes};
    auto read = [](GifFileType* gif, GifByteType* out, int count) -> int {
        auto* r = static_cast<TReader*>(gif->UserData);
        size_t n = std::min(size_t(count), r->bytes->size() - r->pos);
        std::memcpy(out, r->bytes->data() + r->pos, n);
        r->pos += n;
        return int(n);
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, read, &error);
    if (!gif) throw std::runtime_error("DGifOpen failed");
    std::unique_ptr<GifFileType, void (*)(GifFileType*)> guard(gif, [](GifFileType* g) {
        int e = 0;
        DGifCloseFile(g, &e);
    });
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount != 1)
        throw std::runtime_error("DGifSlurp failed");
    const SavedImage& image = gif->SavedImages[0];
    TDecodedGif d;
    d.Width = image.ImageDesc.Width;
    d.Height = image.ImageDesc.Height;
    for (int i = 0; i < d.Width * d.Height; ++i) {
        const GifColorType& c = gif->SColorMap->Colors[image.RasterBits[i]];
        d.Pixels.push_back(uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    }
    return d;
}

}  // namespace tlvx::test
