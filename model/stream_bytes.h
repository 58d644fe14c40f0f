// Whole-stream copies, as skins and stored blobs take their streams.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace tlvx {

// Every byte of stream from position 0; the stream's position is left where
// it was. A stream beyond maxSize bytes raises std::length_error before
// anything is allocated.
std::vector<uint8_t> WholeStreamBytes(TStream& stream, uint64_t maxSize = INT32_MAX);

// Empties stream and writes bytes from position 0; the position ends after
// them.
void ReplaceStreamContent(TStream& stream, const std::vector<uint8_t>& bytes);

}  // namespace tlvx
