#include "store/journaled_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/byte_codec.h"
#include "store/crc32.h"
#include "store/page_runs.h"

namespace tlvx {

// A range of the file as the commit leaves it.
struct TJournalCheck {
    uint64_t position;
    uint32_t length;
    uint64_t hash;
};

struct TJournal {
    uint64_t originalSize = 0;
    bool hasFinal = false;  // version 2
    uint64_t finalSize = 0;
    std::vector<TJournalRecord> records;
    std::vector<TJournalCheck> checks;
};

namespace {

using TRecord = TJournalRecord;
using TCheck = TJournalCheck;

// Version 1 journals (original bytes only) are still read back; version 2
// adds what the file looks like once the commit is complete, so that a
// journal that outlived its commit is recognised and left alone.
constexpr char kMagic1[16] = "TLVX-JOURNAL-1";
constexpr char kMagic2[16] = "TLVX-JOURNAL-2";
// An idle journal: this magic alone.
constexpr char kMagic0[16] = "TLVX-JOURNAL-0";
constexpr size_t kHeader1Bytes = 32;
constexpr size_t kHeader2Bytes = 44;
constexpr size_t kCheckBytes = 24;

// A 64-bit FNV-1a over little-endian words: the check of a committed range
// must not be fooled by a torn write, and 32 bits are thin for that.
uint64_t RangeHash(const uint8_t* p, size_t n) {
    constexpr uint64_t kPrime = 0x100000001B3ull;
    uint64_t h = 0xCBF29CE484222325ull ^ n;
    for (; n >= 8; n -= 8, p += 8) h = (h ^ GetU64(p)) * kPrime;
    for (; n > 0; --n, ++p) h = (h ^ *p) * kPrime;
    return h;
}

// The first index from i on where a and b differ (n when none), a word at a
// time over the long equal stretches.
size_t NextDifference(const uint8_t* a, const uint8_t* b, size_t i, size_t n) {
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) break;
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// Header: magic, u64 original size, u64 final size, u32 record count, u32
// check count, u32 CRC of the header bytes before it. Records: u64
// position, u32 length, original bytes, u32 CRC. Checks: u64 position, u32
// length, u64 hash of the final bytes, u32 CRC. The CRCs of records and
// checks start from the header's CRC, so that bytes left over from another
// journal never pass for this one's.
std::vector<uint8_t> EncodeJournal(const TJournal& j) {
    size_t total = kHeader2Bytes + j.checks.size() * kCheckBytes;
    for (const TRecord& r : j.records) total += 16 + r.bytes.size();
    std::vector<uint8_t> out(total, 0);
    std::memcpy(out.data(), kMagic2, sizeof kMagic2);
    PutU64(&out[16], j.originalSize);
    PutU64(&out[24], j.finalSize);
    PutU32(&out[32], uint32_t(j.records.size()));
    PutU32(&out[36], uint32_t(j.checks.size()));
    const uint32_t salt = Crc32(out.data(), 40);
    PutU32(&out[40], salt);
    size_t at = kHeader2Bytes;
    for (const TRecord& r : j.records) {
        PutU64(&out[at], r.position);
        PutU32(&out[at + 8], uint32_t(r.bytes.size()));
        if (!r.bytes.empty()) std::memcpy(&out[at + 12], r.bytes.data(), r.bytes.size());
        uint32_t crc = salt;
        UpdateCrc32(crc, &out[at], 12 + r.bytes.size());
        PutU32(&out[at + 12 + r.bytes.size()], crc);
        at += 16 + r.bytes.size();
    }
    for (const TCheck& c : j.checks) {
        PutU64(&out[at], c.position);
        PutU32(&out[at + 8], c.length);
        PutU64(&out[at + 12], c.hash);
        uint32_t crc = salt;
        UpdateCrc32(crc, &out[at], 20);
        PutU32(&out[at + 20], crc);
        at += kCheckBytes;
    }
    return out;
}

bool DecodeJournal(const std::vector<uint8_t>& in, TJournal& j) {
    const bool v2 = in.size() >= kHeader2Bytes && std::memcmp(in.data(), kMagic2, sizeof kMagic2) == 0;
    const bool v1 = !v2 && in.size() >= kHeader1Bytes &&
                    std::memcmp(in.data(), kMagic1, sizeof kMagic1) == 0;
    if (!v1 && !v2) return false;
    const size_t crcAt = v2 ? 40 : 28;
    const uint32_t salt = GetU32(&in[crcAt]);
    if (Crc32(in.data(), crcAt) != salt) return false;
    j.originalSize = GetU64(&in[16]);
    j.hasFinal = v2;
    j.finalSize = v2 ? GetU64(&in[24]) : 0;
    const uint32_t count = GetU32(&in[v2 ? 32 : 24]);
    const uint32_t checks = v2 ? GetU32(&in[36]) : 0;
    size_t at = v2 ? kHeader2Bytes : kHeader1Bytes;
    const uint32_t seed = v2 ? salt : 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (in.size() - at < 16) return false;
        const uint64_t len = GetU32(&in[at + 8]);
        if (in.size() - at - 16 < len) return false;
        uint32_t crc = seed;
        UpdateCrc32(crc, &in[at], 12 + len);
        if (crc != GetU32(&in[at + 12 + len])) return false;
        j.records.push_back({GetU64(&in[at]), std::vector<uint8_t>(&in[at + 12], &in[at + 12 + len])});
        at += 16 + len;
    }
    for (uint32_t i = 0; i < checks; ++i) {
        if (in.size() - at < kCheckBytes) return false;
        uint32_t crc = seed;
        UpdateCrc32(crc, &in[at], 20);
        if (crc != GetU32(&in[at + 20])) return false;
        j.checks.push_back({GetU64(&in[at]), GetU32(&in[at + 8]), GetU64(&in[at + 12])});
        at += kCheckBytes;
    }
    return true;
}

// True when the file already holds everything the journal's commit wrote:
// the commit is complete and must not be undone.
bool CommitComplete(IFile& database, const TJournal& j) {
    if (!j.hasFinal || database.Size() != j.finalSize) return false;
    std::vector<uint8_t> bytes;
    for (const TCheck& c : j.checks) {
        bytes.resize(c.length);
        if (database.ReadAt(bytes.data(), c.length, c.position) != c.length) return false;
        if (RangeHash(bytes.data(), c.length) != c.hash) return false;
    }
    return true;
}

std::vector<uint8_t> IdleJournalBytes() { return std::vector<uint8_t>(kMagic0, kMagic0 + sizeof kMagic0); }

bool IsIdleJournal(IFile& journal) {
    uint8_t bytes[sizeof kMagic0];
    return journal.Size() == sizeof kMagic0 && journal.ReadAt(bytes, sizeof bytes, 0) == sizeof bytes &&
           std::memcmp(bytes, kMagic0, sizeof kMagic0) == 0;
}

}  // namespace

std::string JournalPathOf(const std::string& databasePath) { return databasePath + "-journal"; }

TJournalVerdict JudgeJournal(IFile& database, const std::string& journalPath) {
    TJournalVerdict verdict;
    IFileSystem& fs = FileSystem();
    if (!fs.Exists(journalPath)) return verdict;
    std::vector<uint8_t> bytes;
    {
        auto j = fs.Open(journalPath, TFileAccess::Read, TDisposition::OpenExisting,
                         TFileOptions{false, false, false, 0});
        // Idle: the last commit through it is on disk, and it stays.
        if (IsIdleJournal(*j)) return verdict;
        bytes.resize(size_t(j->Size()));
        bytes.resize(j->ReadAt(bytes.data(), bytes.size(), 0));
    }
    verdict.leftover = true;
    TJournal journal;
    if (DecodeJournal(bytes, journal) && !CommitComplete(database, journal)) {
        verdict.rollBack = true;
        verdict.originalSize = journal.originalSize;
        verdict.originals = std::move(journal.records);
    }
    return verdict;
}

bool RollBackJournal(IFile& database, const std::string& journalPath) {
    const TJournalVerdict verdict = JudgeJournal(database, journalPath);
    if (!verdict.leftover) return false;
    if (verdict.rollBack) {
        for (const TRecord& r : verdict.originals)
            database.WriteAt(r.bytes.data(), r.bytes.size(), r.position);
        database.SetSize(verdict.originalSize);
    }
    // Also when the commit looks complete: it may be complete only in the
    // page cache of a writer that was killed before its own sync.
    database.Sync();
    FileSystem().Remove(journalPath);
    FileSystem().SyncDirectoryOf(journalPath);
    return verdict.rollBack;
}

bool HasLeftoverJournal(const std::string& path) {
    const std::string journal = JournalPathOf(ExpandFileName(path));
    IFileSystem& fs = FileSystem();
    if (!fs.Exists(journal)) return false;
    try {
        // Empty or idle: no commit under way, or one that had ended.
        auto j = fs.Open(journal, TFileAccess::Read, TDisposition::OpenExisting,
                         TFileOptions{false, false, false, 0});
        return j->Size() != 0 && !IsIdleJournal(*j);
    } catch (const EPlatformError&) {
        // Removed meanwhile by the writer closing the file.
        if (!fs.Exists(journal)) return false;
        throw;
    }
}

void RecoverDatabase(const std::string& path, int lockWaitMs) {
    if (!HasLeftoverJournal(path)) return;
    TFileOptions options;
    options.lockWaitMs = lockWaitMs;
    options.gate = true;
    std::unique_ptr<IFile> db;
    try {
        db = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenExisting, options);
    } catch (const EPlatformError& e) {
        const int err = e.Errno();
        if (err == EACCES || err == EPERM || err == EROFS) return;
        throw;
    }
    RollBackJournal(*db, JournalPathOf(ExpandFileName(path)));
}

TJournaledFile::TJournaledFile(std::unique_ptr<IFile> inner, std::string journalPath)
    : inner_(std::move(inner)), journal_(std::move(journalPath)) {
    restoredAtOpen_ = RollBackJournal(*inner_, journal_);
    Reset();
}

TJournaledFile::~TJournaledFile() {
    try {
        Sync();
    } catch (...) {
        // The journal, if one was written, restores the file at the next open.
    }
    // The file and its lock go before the memory of the page caches.
    journalFile_.reset();
    inner_.reset();
}

void TJournaledFile::Reset() {
    pages_.clear();
    clean_.Clear();
    baseSize_ = size_ = minSize_ = inner_->Size();
    dirty_ = false;
}

void TJournaledFile::ReadBase(uint8_t* out, uint64_t count, uint64_t position) {
    // Bytes cut off since the last commit read as zeros.
    const uint64_t valid = std::min(baseSize_, minSize_);
    const uint64_t n = position >= valid ? 0 : std::min(count, valid - position);
    // Only what the file does not hold is zeroed: a long body is read
    // straight into the caller's buffer.
    const size_t got = n ? inner_->ReadAt(out, size_t(n), position) : 0;
    std::memset(out + got, 0, size_t(count - got));
}

const uint8_t* TJournaledFile::CleanPage(uint64_t index) {
    if (const uint8_t* page = clean_.Find(index)) return page;
    uint8_t* page = clean_.Take(index);
    try {
        ReadBase(page, kPage, index * kPage);
    } catch (...) {
        clean_.Drop(index);
        throw;
    }
    return page;
}

std::vector<uint8_t>& TJournaledFile::Page(uint64_t index) {
    auto it = pages_.find(index);
    if (it != pages_.end()) return it->second;
    std::vector<uint8_t> page(kPage);
    if (const uint8_t* clean = clean_.Find(index)) {
        std::memcpy(page.data(), clean, kPage);
        clean_.Drop(index);
    } else {
        ReadBase(page.data(), kPage, index * kPage);
    }
    return pages_.emplace(index, std::move(page)).first->second;
}

// Small reads (atom entries and bodies, a few dozen bytes each) take their
// whole page into the clean cache, so that their neighbours cost no system
// call; a large read (a hole table, a long body) goes to the file in one
// piece between the changed pages it spans, and is not cached.
size_t TJournaledFile::ReadAt(void* buffer, size_t count, uint64_t position) {
    if (position >= size_) return 0;
    const uint64_t n = std::min<uint64_t>(count, size_ - position);
    const bool small = n <= kSmallRead;
    ReadThroughPages(
        static_cast<uint8_t*>(buffer), n, position, kPage,
        [&](uint64_t index) -> const uint8_t* {
            auto it = pages_.find(index);
            if (it != pages_.end()) return it->second.data();
            return small ? CleanPage(index) : nullptr;
        },
        [&](uint8_t* out, uint64_t count, uint64_t at) { ReadBase(out, count, at); });
    return size_t(n);
}

void TJournaledFile::WriteAt(const void* buffer, size_t count, uint64_t position) {
    WriteIntoPages(static_cast<const uint8_t*>(buffer), count, position, kPage,
                   [this](uint64_t index) { return Page(index).data(); });
    size_ = std::max<uint64_t>(size_, position + count);
    dirty_ = true;
}

void TJournaledFile::SetSize(uint64_t size) {
    if (size < size_) {
        for (auto& [index, page] : pages_) {
            const uint64_t start = index * kPage;
            if (start + kPage > size)
                std::fill(page.begin() + std::ptrdiff_t(size > start ? size - start : 0), page.end(), 0);
        }
        minSize_ = std::min(minSize_, size);
        // What is cut off reads as zeros from now on, even once regrown.
        clean_.DropFrom(size / kPage);
    }
    size_ = size;
    dirty_ = true;
}

void TJournaledFile::Sync() {
    if (failed_) throw EPlatformError("Commit of \"" + inner_->Path() + "\" failed earlier", EIO);
    if (!dirty_) return;
    ZeroRegrownPages();
    const TJournal journal = BuildJournal();
    if (journal.records.empty() && size_ == baseSize_) {
        // Every page was written back as it was.
        Reset();
        return;
    }
    WriteJournal(journal);
    // From here on the file is being changed: a failure leaves the journal
    // for the next open, and this object commits nothing more.
    failed_ = true;
    WriteDatabase();
    failed_ = false;
    MarkJournalIdle();
    Reset();
}

void TJournaledFile::ZeroRegrownPages() {
    // Bytes cut off and grown back read as zeros; the file still holds the
    // old ones there, so those pages are written (and checked) as zeros.
    for (uint64_t i = std::min(minSize_, size_) / kPage; i * kPage < std::min(baseSize_, size_); ++i)
        Page(i);
}

TJournal TJournaledFile::BuildJournal() {
    TJournal journal;
    journal.originalSize = baseSize_;
    journal.finalSize = size_;
    for (auto& [index, page] : pages_) {
        const uint64_t start = index * kPage;
        if (start >= size_) continue;
        const uint32_t n = uint32_t(std::min(kPage, size_ - start));
        journal.checks.push_back({start, n, RangeHash(page.data(), n)});
    }
    journal.records = ChangedOriginals();
    return journal;
}

// The original bytes the journal keeps, in position order, neighbours joined:
// the runs of bytes that differ on each changed page (a commit changes a few
// entries on each of its pages, and the journal's sync costs by its size),
// and the tail that a shrink cuts off, whole. Each page's original is read
// once, in one piece.
std::vector<TJournalRecord> TJournaledFile::ChangedOriginals() {
    const uint64_t cut = std::min(minSize_, size_);
    std::vector<TJournalRecord> records;
    auto add = [&records](uint64_t position, const uint8_t* bytes, size_t n) {
        if (!records.empty() &&
            records.back().position + records.back().bytes.size() == position)
            records.back().bytes.insert(records.back().bytes.end(), bytes, bytes + n);
        else
            records.push_back({position, std::vector<uint8_t>(bytes, bytes + n)});
    };
    std::vector<uint8_t> original(kPage);
    for (auto& [index, page] : pages_) {
        const uint64_t start = index * kPage;
        const uint64_t end = std::min({start + kPage, baseSize_, cut});
        if (start >= end) continue;
        const size_t n = size_t(end - start);
        ReadOriginal(original.data(), n, start);
        // A gap shorter than a record's own overhead joins its neighbours.
        constexpr size_t kJoin = 16;
        for (size_t i = NextDifference(original.data(), page.data(), 0, n); i < n;) {
            size_t last = i;  // last changed byte of the run
            for (;;) {
                size_t k = last + 1;
                while (k < n && original[k] != page[k]) last = k++;
                const size_t next = NextDifference(original.data(), page.data(), k, n);
                if (next < n && next - last <= kJoin) {
                    last = next;
                    continue;
                }
                add(start + i, original.data() + i, last + 1 - i);
                i = next;
                break;
            }
        }
    }
    if (cut < baseSize_) {
        // Page runs end at the cut at the latest.
        std::vector<uint8_t> tail(size_t(baseSize_ - cut));
        ReadOriginal(tail.data(), tail.size(), cut);
        add(cut, tail.data(), tail.size());
    }
    return records;
}

void TJournaledFile::ReadOriginal(uint8_t* out, size_t count, uint64_t position) {
    if (inner_->ReadAt(out, count, position) != count)
        throw EPlatformError("Short read of \"" + inner_->Path() + "\"", EIO);
}

// Step 1. A commit that only appends is journaled too, so that a torn append
// rolls back to the original size.
void TJournaledFile::WriteJournal(const TJournal& journal) {
    IFileSystem& fs = FileSystem();
    if (!journalFile_) OpenJournal();
    const std::vector<uint8_t> bytes = EncodeJournal(journal);
    journalFile_->WriteAt(bytes.data(), bytes.size(), 0);
    if (journalFile_->Size() != bytes.size()) journalFile_->SetSize(bytes.size());
    journalFile_->Sync();
    ++syncs_;
    if (!journalListed_) {
        fs.SyncDirectoryOf(journal_);
        ++syncs_;
        journalListed_ = true;
    }
}

// An idle journal left by an earlier session is taken as it is: its
// directory entry went to the disk when it was made. Anything else is made
// anew, and its entry is synced with the first commit.
void TJournaledFile::OpenJournal() {
    IFileSystem& fs = FileSystem();
    const TFileOptions plain{false, false, false, 0};
    if (fs.Exists(journal_)) {
        journalFile_ = fs.Open(journal_, TFileAccess::ReadWrite, TDisposition::OpenExisting, plain);
        journalListed_ = IsIdleJournal(*journalFile_);
        if (journalListed_) return;
    }
    journalFile_ = fs.Open(journal_, TFileAccess::ReadWrite, TDisposition::CreateAlways, plain);
    journalListed_ = false;
}

// Step 2: the commit is durable once the file is synced.
void TJournaledFile::WriteDatabase() {
    if (size_ < baseSize_) inner_->SetSize(size_);
    for (auto& [index, page] : pages_) {
        const uint64_t start = index * kPage;
        if (start >= size_) continue;
        inner_->WriteAt(page.data(), size_t(std::min(kPage, size_ - start)), start);
    }
    if (inner_->Size() != size_) inner_->SetSize(size_);
    inner_->Sync();
    ++syncs_;
}

// Step 3, without a sync: should the old journal come back after a crash,
// the file holds everything its commit wrote, and the open recognises that
// and keeps the file as is.
void TJournaledFile::MarkJournalIdle() {
    try {
        const std::vector<uint8_t> idle = IdleJournalBytes();
        journalFile_->SetSize(idle.size());
        journalFile_->WriteAt(idle.data(), idle.size(), 0);
    } catch (...) {
        // The commit stands all the same; the next one overwrites it.
    }
}

}  // namespace tlvx
