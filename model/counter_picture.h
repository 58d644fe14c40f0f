// The counter image in two steps: what it needs is read from the database,
// and it is drawn from that alone. The counter program draws once it has let
// the database go, so that the hits queued behind its lock do not wait for
// the drawing and the GIF encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/counter2.h"
#include "platform/stream.h"

namespace tlvx {

struct TCounterPicture {
    int32_t visits = 0;
    // The skin's stored stream; nothing when neither the skin asked for nor
    // skin 0 exists.
    std::optional<std::vector<uint8_t>> skin;
};

// The total visits and skin skinNo's stream (skin 0's when there is no
// skinNo).
TCounterPicture ReadCounterPicture(ICounter2& counter, int32_t skinNo);
// The GIF of the picture, position 0; empty without a skin.
TMemoryStream DrawCounterPicture(const TCounterPicture& picture);

}  // namespace tlvx
