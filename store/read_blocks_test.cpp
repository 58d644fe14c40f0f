// Reads through the block cache give the file's bytes, whatever the
// position, length and ring size, and neighbours cost no second file read.
#include "store/read_blocks.h"

#include <gtest/gtest.h>

#include <memory>
#include <cstring>
#include <random>
#include <vector>

#include "store/errors.h"
#include "store/testing/memory_atom_file.h"

namespace tlvx {
namespace {

using test::TMemoryAtomFile;
using test::TMemoryDisk;

std::shared_ptr<TMemoryDisk> Disk(size_t size) {
    auto disk = std::make_shared<TMemoryDisk>();
    disk->bytes.resize(size);
    for (size_t i = 0; i < size; ++i) disk->bytes[i] = uint8_t(i * 131 + (i >> 8));
    return disk;
}

TEST(BlockReader, ReadsMatchTheFileAcrossBlocksAndAtItsEnd) {
    auto disk = Disk(5 * TBlockReader::kBlockSize + 123);
    TMemoryAtomFile file(disk, true);
    std::mt19937 random(7);
    for (uint32_t ring : {1u, 3u, 64u}) {
        TBlockReader reader(file, ring);
        for (int i = 0; i < 3000; ++i) {
            const uint32_t count = random() % (TBlockReader::kMaxBlockRead + 200) + 1;
            const uint64_t pos = random() % (disk->bytes.size() - count + 1);
            std::vector<uint8_t> got(count);
            reader.ReadAt(got.data(), count, pos);
            ASSERT_EQ(0, std::memcmp(got.data(), disk->bytes.data() + pos, count)) << pos << " " << count;
        }
        // Past the end the file's own error comes through.
        uint8_t byte;
        EXPECT_THROW(reader.ReadAt(&byte, 1, disk->bytes.size()), EQmzError);
        std::vector<uint8_t> two(2);
        EXPECT_THROW(reader.ReadAt(two.data(), 2, disk->bytes.size() - 1), EQmzError);
    }
}

TEST(BlockReader, NeighboursShareOneFileRead) {
    auto disk = Disk(4 * TBlockReader::kBlockSize);
    TMemoryAtomFile file(disk, true);
    TBlockReader reader(file, 2);
    uint8_t entry[32];
    // Every 32-byte entry of one block: one read.
    for (uint32_t at = 0; at < TBlockReader::kBlockSize; at += 32) reader.ReadAt(entry, 32, at);
    EXPECT_EQ(reader.FileReads(), 1u);
    // A read across a block boundary reads the second block once.
    reader.ReadAt(entry, 32, TBlockReader::kBlockSize - 16);
    EXPECT_EQ(reader.FileReads(), 2u);
    // The ring holds two: the first block goes when a third comes.
    reader.ReadAt(entry, 32, 2 * TBlockReader::kBlockSize);
    reader.ReadAt(entry, 32, 0);
    EXPECT_EQ(reader.FileReads(), 4u);
    // Long reads go straight to the file.
    std::vector<uint8_t> big(TBlockReader::kMaxBlockRead + 1);
    reader.ReadAt(big.data(), uint32_t(big.size()), 100);
    EXPECT_EQ(reader.FileReads(), 5u);
    EXPECT_EQ(0, std::memcmp(big.data(), disk->bytes.data() + 100, big.size()));
}

}  // namespace
}  // namespace tlvx
