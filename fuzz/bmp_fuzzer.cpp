// Loads the input as a BMP stream, as a skin picture is read; a picture
// that loads must save and load back to itself.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_guard.h"
#include "raster/paint_rect.h"

using namespace tlvx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunGuarded([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        TPaintRect picture = TPaintRect::CreateSized(2, 3);
        picture.SetPixel(1, 1, 0x123456);
        const TPaintRect before = picture;
        try {
            picture.LoadFromStream(stream);
        } catch (const EBitmapFormatError&) {
            FuzzCheck(picture == before, "a refused stream changed the picture");
            throw;
        }
        if (picture == before) return;
        TMemoryStream saved;
        picture.SaveToStream(saved);
        saved.Seek(0);
        TPaintRect back;
        back.LoadFromStream(saved);
        FuzzCheck(back == picture, "a loaded picture does not save and load back to itself");
        FuzzCheck(saved.Position() <= saved.Size(), "read past the saved stream");
    });
    return 0;
}
