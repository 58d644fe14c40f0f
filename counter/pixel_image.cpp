#include "counter/pixel_image.h"

#include "raster/gif_writer.h"

namespace tlvx {

std::vector<uint8_t> OnePixelGIF(uint64_t colour) {
    TPaintRect pixel = TPaintRect::CreateSized(1, 1);
    pixel.Clear(ColorToPixel(TColor(colour & 0xFFFFFF)));
    return PaintRectToGIFBytes(pixel);
}

}  // namespace tlvx
