#include "store/read_blocks.h"

#include <algorithm>
#include <cstring>

namespace tlvx {

TBlockReader::TBlockReader(IAtomFile& file, uint32_t maxBlocks)
    : file_(file), maxBlocks_(std::max<uint32_t>(maxBlocks, 1)) {}

const TBlockReader::TBlock* TBlockReader::Block(uint64_t index) {
    auto known = byIndex_.find(index);
    if (known != byIndex_.end()) return known->second;
    const uint64_t pos = index * kBlockSize;
    const uint64_t end = file_.LogicalSize();
    if (pos >= end) return nullptr;
    TBlock* block;
    if (ring_.size() < maxBlocks_) {
        ring_.push_back(std::make_unique<TBlock>());
        block = ring_.back().get();
    } else {
        block = ring_[next_].get();
        byIndex_.erase(block->index);
        next_ = (next_ + 1) % ring_.size();
    }
    // Until it is read the block belongs to no index.
    block->index = UINT64_MAX;
    block->bytes.resize(size_t(std::min<uint64_t>(kBlockSize, end - pos)));
    ++fileReads_;
    file_.ReadAt(block->bytes.data(), uint32_t(block->bytes.size()), pos);
    block->index = index;
    byIndex_.emplace(index, block);
    return block;
}

void TBlockReader::ReadAt(void* buffer, uint32_t count, uint64_t position) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (count > kMaxBlockRead) {
        ++fileReads_;
        file_.ReadAt(out, count, position);
        return;
    }
    while (count > 0) {
        const TBlock* block = Block(position / kBlockSize);
        const uint32_t offset = uint32_t(position % kBlockSize);
        if (!block || block->bytes.size() <= offset) {
            // Past the file's logical end: the file reports what is wrong.
            ++fileReads_;
            file_.ReadAt(out, count, position);
            return;
        }
        const uint32_t n = std::min<uint32_t>(count, uint32_t(block->bytes.size()) - offset);
        std::memcpy(out, block->bytes.data() + offset, n);
        out += n;
        position += n;
        count -= n;
    }
}

}  // namespace tlvx
