// Loads the input as a skin image stream, as the counter reads a skin from
// its database, and composes the counter image from it; a skin that loads
// must save and load back to the same stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_guard.h"
#include "model/skin.h"

using namespace tlvx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunGuarded([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        TSkin skin;
        if (!skin.LoadFromStream(&stream)) return;
        skin.GetDefaultColor();
        skin.GetSizes();
        // The value comes from the input too, so long, short and negative
        // numbers all meet the layout.
        int32_t value = 0;
        for (size_t i = 0; i < 4 && i < size; ++i) value = int32_t(uint32_t(value) << 8 | data[size - 1 - i]);
        skin.SetValue(value);
        RunGuarded([&] { skin.GetImage(); });
        RunGuarded([&] { skin.RenderNumber(-1); });
        TMemoryStream saved;
        skin.SaveToStream(&saved);
        if (saved.Size() == 0) return;  // not complete: nothing to save
        TSkin back;
        FuzzCheck(back.LoadFromStream(&saved), "a saved skin does not load");
        TMemoryStream again;
        back.SaveToStream(&again);
        FuzzCheck(again.Bytes() == saved.Bytes(), "a skin does not save the same twice");
    });
    return 0;
}
