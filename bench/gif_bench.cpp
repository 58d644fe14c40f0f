// GIF encoding speed: our writer (palette, LZW, framing) on the default
// 81 x 63 counter and a 220 x 220 pie chart, beside giflib's EGifSpew on the
// same rasters. Both pictures have few colours, so the writer builds their
// palette directly (ExactPalette); the counting quantizer it falls back on
// for pictures of more than 256 colours is timed on them too. giflib gets
// the palette indexes ready made, so its figures cover only the LZW coding
// and framing that our writer does after the palette.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "raster/color_quantizer.h"
#include "raster/default_skin.h"
#include "raster/exact_palette.h"
#include "raster/gif_writer.h"
#include "raster/lzw_encoder.h"

namespace {

using namespace tlvx;

TPaintRect DefaultCounter() {
    TPaintRect image = DrawDefaultBackground();
    image.SetSize(81, 63);
    image.FillRect(0, 49, ColorToPixel(kDefaultSkinPaper), 14, 81);
    const int digits[6] = {0, 0, 0, 5, 5, 5};
    for (int i = 0; i < 6; ++i) {
        TPaintRect d = DrawDefaultDigit(digits[i]);
        CopyPaintRectBlock(image, d, 0, 0, 16 + 8 * i, 49, 5, 14);
    }
    return image;
}

TPaintRect PieChart() {
    auto r = TPaintRect::CreateSized(220, 220);
    r.Clear(0xFFFFFF);
    const int shares[] = {0, 110, 190, 250, 300, 330, 350, 360};
    const TPixel colours[] = {0x3366CC, 0xDC3912, 0xFF9900, 0x109618, 0x990099, 0x0099C6, 0xDD4477};
    for (int i = 0; i < 7; ++i)
        r.FilledSector(110, 110, colours[i], 0x000000, uint16_t(shares[i + 1]),
                       uint16_t(shares[i]), 100, 100);
    return r;
}

void BM_OurWriter(benchmark::State& state, TPaintRect (*make)()) {
    TPaintRect r = make();
    size_t bytes = 0;
    for (auto _ : state) {
        auto gif = PaintRectToGIFBytes(r);
        bytes = gif.size();
        benchmark::DoNotOptimize(gif.data());
    }
    state.counters["bytes"] = double(bytes);
}

void BM_OurLzwOnly(benchmark::State& state, TPaintRect (*make)()) {
    TQuantizedImage q = QuantizeColors(make());
    for (auto _ : state) {
        std::vector<uint8_t> out;
        LZWEncode(q.indexes.data(), q.indexes.size(), out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_OurExactPalette(benchmark::State& state, TPaintRect (*make)()) {
    TPaintRect r = make();
    for (auto _ : state) {
        std::optional<TQuantizedImage> q = ExactPalette(r);
        if (!q) {
            state.SkipWithError("more than 256 colours");
            break;
        }
        benchmark::DoNotOptimize(q->indexes.data());
    }
}

void BM_OurQuantizer(benchmark::State& state, TPaintRect (*make)()) {
    TPaintRect r = make();
    for (auto _ : state) {
        TQuantizedImage q = QuantizeColors(r);
        benchmark::DoNotOptimize(q.indexes.data());
    }
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int count) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + count);
    return count;
}

void BM_GiflibSpew(benchmark::State& state, TPaintRect (*make)()) {
    TQuantizedImage q = QuantizeColors(make());
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {q.palette[size_t(i)].red, q.palette[size_t(i)].green,
                      q.palette[size_t(i)].blue};
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> out;
        out.reserve(800 + q.indexes.size());
        int error = 0;
        GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
        gif->SWidth = q.width;
        gif->SHeight = q.height;
        gif->SColorResolution = 8;
        gif->SBackGroundColor = 0;
        gif->SColorMap = GifMakeMapObject(256, colours);
        SavedImage image{};
        image.ImageDesc.Width = q.width;
        image.ImageDesc.Height = q.height;
        // EGifSpew frees the saved images with the file, so each run copies.
        image.RasterBits = static_cast<GifByteType*>(malloc(q.indexes.size()));
        std::memcpy(image.RasterBits, q.indexes.data(), q.indexes.size());
        GifMakeSavedImage(gif, &image);
        if (EGifSpew(gif) != GIF_OK) state.SkipWithError("EGifSpew failed");
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(bytes);
}

BENCHMARK_CAPTURE(BM_OurWriter, counter_81x63, DefaultCounter);
BENCHMARK_CAPTURE(BM_OurExactPalette, counter_81x63, DefaultCounter);
BENCHMARK_CAPTURE(BM_OurQuantizer, counter_81x63, DefaultCounter);
BENCHMARK_CAPTURE(BM_OurLzwOnly, counter_81x63, DefaultCounter);
BENCHMARK_CAPTURE(BM_GiflibSpew, counter_81x63, DefaultCounter);
BENCHMARK_CAPTURE(BM_OurWriter, pie_220x220, PieChart);
BENCHMARK_CAPTURE(BM_OurExactPalette, pie_220x220, PieChart);
BENCHMARK_CAPTURE(BM_OurQuantizer, pie_220x220, PieChart);
BENCHMARK_CAPTURE(BM_OurLzwOnly, pie_220x220, PieChart);
BENCHMARK_CAPTURE(BM_GiflibSpew, pie_220x220, PieChart);

}  // namespace

BENCHMARK_MAIN();
