// Small reads of a read-only storage file through a cache of 4 KB blocks.
//
// Atoms made together lie together: a node's thirty atoms have neighbouring
// entries and bodies, and so have the day atoms that every node gets on the
// same day. A reader that opens them one by one would read each 32-byte
// entry and each small body with a call of its own; through the blocks one
// call serves every neighbour that the block holds. Only a file that nobody
// writes while it is open may be read so: nothing here is ever invalidated.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "store/atom_file.h"

namespace tlvx {

class TBlockReader {
public:
    static constexpr uint32_t kBlockSize = 4096;
    // Reads longer than this go to the file directly.
    static constexpr uint32_t kMaxBlockRead = 2048;

    // At most maxBlocks blocks are kept; the oldest goes first.
    TBlockReader(IAtomFile& file, uint32_t maxBlocks);

    // As IAtomFile::ReadAt: exactly count bytes at position (code 9 when the
    // file is shorter).
    void ReadAt(void* buffer, uint32_t count, uint64_t position);

    uint64_t FileReads() const { return fileReads_; }

private:
    struct TBlock {
        uint64_t index;
        std::vector<uint8_t> bytes;  // up to kBlockSize, fewer at the file's end
    };
    // The block of index, read when missing; null when the file ends first.
    const TBlock* Block(uint64_t index);

    IAtomFile& file_;
    uint32_t maxBlocks_;
    uint64_t fileReads_ = 0;
    std::vector<std::unique_ptr<TBlock>> ring_;  // the blocks, oldest at next_
    size_t next_ = 0;
    std::unordered_map<uint64_t, TBlock*> byIndex_;
};

}  // namespace tlvx
