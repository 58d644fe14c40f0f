#include "store/journaled_file.h"

#include <algorithm>
#include <cstring>

#include "store/crc32.h"

namespace tlvx {

namespace {

constexpr char kMagic[16] = "TLVX-JOURNAL-1";
constexpr size_t kHeaderBytes = 32;

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
    Put32(p, uint32_t(v));
    Put32(p + 4, uint32_t(v >> 32));
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) { return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32; }

struct TRecord {
    uint64_t position;
    std::vector<uint8_t> bytes;
};

// Header: magic, u64 original size, u32 record count, u32 CRC of the header
// bytes before it. Records: u64 position, u32 length, bytes, u32 CRC of all.
std::vector<uint8_t> EncodeJournal(uint64_t originalSize, const std::vector<TRecord>& records) {
    std::vector<uint8_t> out(kHeaderBytes, 0);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    Put64(&out[16], originalSize);
    Put32(&out[24], uint32_t(records.size()));
    Put32(&out[28], Crc32(out.data(), 28));
    for (const TRecord& r : records) {
        const size_t at = out.size();
        out.resize(at + 12 + r.bytes.size() + 4);
        Put64(&out[at], r.position);
        Put32(&out[at + 8], uint32_t(r.bytes.size()));
        std::memcpy(&out[at + 12], r.bytes.data(), r.bytes.size());
        Put32(&out[at + 12 + r.bytes.size()], Crc32(&out[at], 12 + r.bytes.size()));
    }
    return out;
}

bool DecodeJournal(const std::vector<uint8_t>& in, uint64_t& originalSize,
                   std::vector<TRecord>& records) {
    if (in.size() < kHeaderBytes || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0 ||
        Crc32(in.data(), 28) != Get32(&in[28]))
        return false;
    originalSize = Get64(&in[16]);
    const uint32_t count = Get32(&in[24]);
    size_t at = kHeaderBytes;
    for (uint32_t i = 0; i < count; ++i) {
        if (in.size() - at < 16) return false;
        const uint64_t len = Get32(&in[at + 8]);
        if (in.size() - at - 16 < len) return false;
        if (Crc32(&in[at], 12 + len) != Get32(&in[at + 12 + len])) return false;
        records.push_back({Get64(&in[at]), std::vector<uint8_t>(&in[at + 12], &in[at + 12 + len])});
        at += 16 + len;
    }
    return true;
}

}  // namespace

std::string JournalPathOf(const std::string& databasePath) { return databasePath + "-journal"; }

bool RollBackJournal(IFile& database, const std::string& journalPath) {
    IFileSystem& fs = FileSystem();
    if (!fs.Exists(journalPath)) return false;
    std::vector<uint8_t> bytes;
    {
        auto j = fs.Open(journalPath, TFileAccess::Read, TDisposition::OpenExisting,
                         TFileOptions{false, false, false, 0});
        bytes.resize(size_t(j->Size()));
        bytes.resize(j->ReadAt(bytes.data(), bytes.size(), 0));
    }
    uint64_t originalSize = 0;
    std::vector<TRecord> records;
    const bool complete = DecodeJournal(bytes, originalSize, records);
    if (complete) {
        for (const TRecord& r : records) database.WriteAt(r.bytes.data(), r.bytes.size(), r.position);
        database.SetSize(originalSize);
        database.Sync();
    }
    fs.Remove(journalPath);
    fs.SyncDirectoryOf(journalPath);
    return complete;
}

void RecoverDatabase(const std::string& path, int lockWaitMs) {
    const std::string journal = JournalPathOf(ExpandFileName(path));
    IFileSystem& fs = FileSystem();
    if (!fs.Exists(journal)) return;
    TFileOptions options;
    options.lockWaitMs = lockWaitMs;
    auto db = fs.Open(path, TFileAccess::ReadWrite, TDisposition::OpenExisting, options);
    RollBackJournal(*db, journal);
}

TJournaledFile::TJournaledFile(std::unique_ptr<IFile> inner, std::string journalPath)
    : inner_(std::move(inner)), journal_(std::move(journalPath)) {
    RollBackJournal(*inner_, journal_);
    Reset();
}

TJournaledFile::~TJournaledFile() {
    try {
        Sync();
    } catch (...) {
        // The journal, if one was written, restores the file at the next open.
    }
}

void TJournaledFile::Reset() {
    pages_.clear();
    baseSize_ = size_ = minSize_ = inner_->Size();
    dirty_ = false;
}

void TJournaledFile::ReadBase(uint8_t* out, uint64_t count, uint64_t position) {
    // Bytes cut off since the last commit read as zeros.
    const uint64_t valid = std::min(baseSize_, minSize_);
    std::memset(out, 0, size_t(count));
    if (position >= valid) return;
    const uint64_t n = std::min(count, valid - position);
    inner_->ReadAt(out, size_t(n), position);
}

std::vector<uint8_t>& TJournaledFile::Page(uint64_t index) {
    auto it = pages_.find(index);
    if (it != pages_.end()) return it->second;
    std::vector<uint8_t> page(kPage);
    ReadBase(page.data(), kPage, index * kPage);
    return pages_.emplace(index, std::move(page)).first->second;
}

size_t TJournaledFile::ReadAt(void* buffer, size_t count, uint64_t position) {
    if (position >= size_) return 0;
    const uint64_t n = std::min<uint64_t>(count, size_ - position);
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint64_t done = 0; done < n;) {
        const uint64_t pos = position + done;
        const uint64_t index = pos / kPage;
        const uint64_t off = pos % kPage;
        const uint64_t len = std::min(n - done, kPage - off);
        auto it = pages_.find(index);
        if (it != pages_.end()) std::memcpy(out + done, it->second.data() + off, size_t(len));
        else ReadBase(out + done, len, pos);
        done += len;
    }
    return size_t(n);
}

void TJournaledFile::WriteAt(const void* buffer, size_t count, uint64_t position) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    for (uint64_t done = 0; done < count;) {
        const uint64_t pos = position + done;
        const uint64_t off = pos % kPage;
        const uint64_t len = std::min<uint64_t>(count - done, kPage - off);
        std::memcpy(Page(pos / kPage).data() + off, in + done, size_t(len));
        done += len;
    }
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
    }
    size_ = size;
    dirty_ = true;
}

void TJournaledFile::Sync() {
    if (!dirty_) return;
    // Original bytes of every page about to change, and of the tail that a
    // shrink cuts off.
    std::vector<TRecord> records;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    for (auto& [index, page] : pages_) {
        const uint64_t start = index * kPage;
        if (start < baseSize_) ranges.emplace_back(start, std::min(start + kPage, baseSize_));
    }
    const uint64_t cut = std::min(minSize_, size_);
    if (cut < baseSize_) ranges.emplace_back(cut, baseSize_);
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<uint64_t, uint64_t>> merged;
    for (auto r : ranges) {
        if (!merged.empty() && r.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    for (auto [from, to] : merged) {
        TRecord r{from, std::vector<uint8_t>(size_t(to - from))};
        inner_->ReadAt(r.bytes.data(), r.bytes.size(), from);
        records.push_back(std::move(r));
    }
    IFileSystem& fs = FileSystem();
    // A file that was empty is journaled too, so that a torn first write
    // rolls back to the empty file.
    const bool journaled = !records.empty() || baseSize_ == 0;
    if (journaled) {
        std::vector<uint8_t> bytes = EncodeJournal(baseSize_, records);
        auto j = fs.Open(journal_, TFileAccess::ReadWrite, TDisposition::CreateAlways,
                         TFileOptions{false, false, false, 0});
        j->WriteAt(bytes.data(), bytes.size(), 0);
        j->Sync();
        ++syncs_;
        j.reset();
        fs.SyncDirectoryOf(journal_);
        ++syncs_;
    }
    if (size_ < baseSize_) inner_->SetSize(size_);
    for (auto& [index, page] : pages_) {
        const uint64_t start = index * kPage;
        if (start >= size_) continue;
        inner_->WriteAt(page.data(), size_t(std::min(kPage, size_ - start)), start);
    }
    if (inner_->Size() != size_) inner_->SetSize(size_);
    inner_->Sync();
    ++syncs_;
    if (journaled) {
        fs.Remove(journal_);
        fs.SyncDirectoryOf(journal_);
        ++syncs_;
    }
    Reset();
}

}  // namespace tlvx
