#include "store/chain_summary.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/byte_codec.h"
#include "platform/file.h"
#include "platform/testing/pass_through_file.h"
#include "store/crc32.h"
#include "store/orv_base_open.h"
#include "store/testing/chain_walk.h"
#include "store/testing/store_env.h"

namespace tlvx {
namespace {

using test::kClassA;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Passes everything to the real file system, counting the reads of one file.
class TCountingFileSystem : public IFileSystem {
public:
    explicit TCountingFileSystem(std::string path) : path_(std::move(path)) {}
    int reads = 0;
    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access, TDisposition disposition,
                                const TFileOptions& options) override {
        auto file = RealFileSystem().Open(path, access, disposition, options);
        if (path != path_) return file;
        return std::make_unique<TFile>(std::move(file), reads);
    }
    bool Exists(const std::string& path) override { return RealFileSystem().Exists(path); }
    bool Remove(const std::string& path) override { return RealFileSystem().Remove(path); }
    void SyncDirectoryOf(const std::string& path) override { RealFileSystem().SyncDirectoryOf(path); }

private:
    struct TFile : test::TPassThroughFile {
        TFile(std::unique_ptr<IFile> inner, int& reads) : TPassThroughFile(std::move(inner)), reads(reads) {}
        size_t ReadAt(void* b, size_t n, uint64_t p) override {
            ++reads;
            return inner_->ReadAt(b, n, p);
        }
        int& reads;
    };
    std::string path_;
};

std::string AtomData(uint32_t h) { return "atom " + std::to_string(h) + " with a body of its own"; }

class ChainSummaryTest : public ::testing::Test {
protected:
    // A store of four atom tables and a hole table: 1,900 atoms with bodies,
    // every tenth of them deleted in a second commit.
    void Grow() {
        auto b = OpenOrvBase(path_, false, {kClassA}, omOpenOrCreate);
        uint32_t tr = b->StartTransaction(0);
        for (int i = 0; i < 1900; ++i) {
            Ref<TAtom> a = b->CreateAtom(tr, 15);
            const std::string d = AtomData(a->GetHandle());
            a->Write(0, d.data(), uint32_t(d.size()));
            a->AddExternalRefs(1);
        }
        b->Commit(tr);
        tr = b->StartTransaction(0);
        for (uint32_t h = 10; h < 1900; h += 10) b->OpenAtom(tr, h, 0)->AddExternalRefs(-1);
        b->Commit(tr);
    }
    // Every atom holds what Grow wrote; returns how many there are.
    int CheckAtoms(TOpenMode mode) {
        auto b = OpenOrvBase(path_, false, {kClassA}, mode);
        Ref<IEnumAtoms> atoms = b->EnumAtoms(0);
        int n = 0;
        for (uint32_t h; (h = atoms->Next()) != 0; ++n) {
            if (h <= 2) continue;
            Ref<TAtom> a = b->OpenAtom(0, h, 1);
            std::string d(a->GetDataSize(), '\0');
            a->Read(0, d.data(), uint32_t(d.size()));
            EXPECT_EQ(d, AtomData(h));
        }
        return n;
    }
    // A commit of an atom written with what it holds: all it changes is the
    // summary, when that is due.
    void Touch() {
        auto b = OpenOrvBase(path_, false, {kClassA}, omOpen);
        uint32_t tr = b->StartTransaction(0);
        b->OpenAtom(tr, 3, 15)->Write(0, "atom", 4);
        b->Commit(tr);
    }
    // Reads of an open without any atom work.
    int OpenReads(TOpenMode mode) {
        TCountingFileSystem counting(path_);
        SetFileSystem(&counting);
        OpenOrvBase(path_, false, {kClassA}, mode).reset();
        SetFileSystem(nullptr);
        return counting.reads;
    }
    void SetHeaderSummary(std::vector<uint8_t>& bytes, uint64_t position, uint32_t size) {
        PutU64(&bytes[96], position);
        PutU32(&bytes[104], size);
        PutU32(&bytes[124], Crc32(bytes.data(), 124));
    }
    void ExpectSummaryOfTheChains() {
        const auto bytes = ReadFileBytes(path_);
        const auto stored = test::StoredChainSummary(bytes);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->chains, test::WalkedChains(bytes));
    }

    test::TStoreTestEnv env_;
    std::string path_ = env_.dir.File("chains.orv");
};

TEST_F(ChainSummaryTest, AGrownStoreOpensFromAFewReadsWhateverItsChains) {
    Grow();
    const auto bytes = ReadFileBytes(path_);
    const TChainSummary walked = test::WalkedChains(bytes);
    EXPECT_EQ(walked.atomTables.size(), 4u);
    EXPECT_GE(walked.holeTables.size(), 1u);
    ExpectSummaryOfTheChains();
    EXPECT_EQ(CheckAtoms(omReadOnly), CheckAtoms(omOpen));
    // The reader reads the header, the summary and the last atom table's
    // header; the writer also the last hole table's header and its window.
    EXPECT_LE(OpenReads(omReadOnly), 3);
    const int writer = OpenReads(omOpen);
    // Without the summary both walk every table.
    auto stripped = bytes;
    SetHeaderSummary(stripped, 0, 0);
    WriteFileBytes(path_, stripped);
    EXPECT_GE(OpenReads(omReadOnly), 1 + int(walked.TableCount()) - 1);
    EXPECT_GT(OpenReads(omOpen), writer);
    EXPECT_EQ(CheckAtoms(omReadOnly), 1900 + 2 - 189);
    // And it gains it again at its next commit.
    Touch();
    ExpectSummaryOfTheChains();
}

// A summary that names only the first tables of a chain (a program that does
// not know summaries appended one) still finds every atom; one that fails
// its checks is ignored and replaced, its block left alone.
TEST_F(ChainSummaryTest, AStaleOrDamagedSummaryIsFollowedOrIgnored) {
    Grow();
    auto bytes = ReadFileBytes(path_);
    const auto stored = *test::StoredChainSummary(bytes);
    TChainSummary prefix = stored.chains;
    prefix.atomTables.pop_back();
    const auto block = EncodeChainSummary(prefix, (stored.size - kChainSummaryHeaderBytes) / 8);
    std::copy(block.begin(), block.end(), bytes.begin() + std::ptrdiff_t(stored.position));
    WriteFileBytes(path_, bytes);
    EXPECT_EQ(CheckAtoms(omReadOnly), CheckAtoms(omOpen));
    Touch();
    ExpectSummaryOfTheChains();
    EXPECT_EQ(test::StoredChainSummary(ReadFileBytes(path_))->position, stored.position);

    bytes = ReadFileBytes(path_);
    bytes[stored.position + kChainSummaryHeaderBytes] ^= 1;
    WriteFileBytes(path_, bytes);
    EXPECT_EQ(CheckAtoms(omReadOnly), 1900 + 2 - 189);
    Touch();
    ExpectSummaryOfTheChains();
    bytes = ReadFileBytes(path_);
    EXPECT_NE(test::StoredChainSummary(bytes)->position, stored.position);
    // The damaged block is not handed out again: no hole covers it.
    const TChainSummary chains = test::WalkedChains(bytes);
    for (size_t k = 0; k < chains.holeTables.size(); ++k)
        for (uint32_t i = 0; i < 256 * (k + 1); ++i) {
            const uint8_t* e = &bytes[chains.holeTables[k] + 16 + 16 * i];
            const uint64_t at = GetU64(e + 4), size = GetU32(e + 12);
            EXPECT_TRUE(at == 0 || at + size <= stored.position || stored.position + stored.size <= at);
        }
    EXPECT_EQ(CheckAtoms(omOpen), 1900 + 2 - 189);
}

TEST(ChainSummaryCodec, RoundTripsAndRefusesWhatDoesNotHold) {
    const TChainSummary s{{128, 9000, 70000}, {4096, 1u << 20}};
    auto block = EncodeChainSummary(s, 8);
    ASSERT_EQ(block.size(), ChainSummaryBytes(8));
    EXPECT_EQ(DecodeChainSummary(block.data(), block.size()), s);
    EXPECT_FALSE(DecodeChainSummary(block.data(), block.size() - 8));
    for (size_t at : {size_t(0), size_t(8), size_t(12), size_t(20), size_t(30)}) {
        auto bad = block;
        bad[at] ^= 0x40;
        EXPECT_FALSE(DecodeChainSummary(bad.data(), bad.size())) << at;
    }
}

}  // namespace
}  // namespace tlvx
