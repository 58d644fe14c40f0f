// A read-only storage file that lets its share lock go early: once a reader
// has read a good part of the file, a file small enough is read whole into
// memory and closed, and every later read is served from that copy. The
// report program asks for it (SnapshotBytes, storage_params.h) for files of
// up to kReaderSnapshotBytes.
//
// A report reads a database for as long as its page needs, and every hit
// queued behind the report waits for all of it. Most pages read a few
// hundred kilobytes (the general page of a 10,000-visitor database 190 KB)
// and hold the lock for milliseconds; the 90-day visitor list of that
// database reads its 19 MB over and over (180 MB through the block ring) and
// held the lock for 400 to 600 ms, so that eight readers of it queued between
// 64 hits kept the last hits waiting past their 3 s. Under the shared lock no
// writer can be changing the file, so the copy is one committed state, and
// taking it costs little more than copying the bytes from the page cache.
// After kCopyAfterBytes read in place the reader takes its copy and lets the
// lock go; a cheap page never gets there and copies nothing. A file larger
// than the bound is read in place to the end, as before: the copy costs its
// size in memory. Meanwhile the store's share rule no longer keeps writers
// out of a file whose reader has its copy: the reader has what it reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"

namespace tlvx {

// The report program's bound: eight reports at once keep 256 MB at most.
inline constexpr uint64_t kReaderSnapshotBytes = uint64_t(32) << 20;

class TSnapshotFile : public IFile {
public:
    // Reads in place before a reader takes its copy.
    static constexpr uint64_t kCopyAfterBytes = uint64_t(1) << 20;

    explicit TSnapshotFile(std::unique_ptr<IFile> inner);
    ~TSnapshotFile() override;

    // From now on, once kCopyAfterBytes more have been read in place, a file
    // of at most maxBytes is read whole and closed. Called once the open has
    // checked the file under its lock.
    void AllowCopy(uint64_t maxBytes);
    // Whether the copy was taken (the file and its lock are let go).
    bool Copied() const { return !inner_; }

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override;
    // A read-only file: these raise once copied (the store never calls them
    // on a read-only file).
    void WriteAt(const void* buffer, size_t count, uint64_t position) override;
    void SetSize(uint64_t size) override;
    void Sync() override;
    uint64_t Size() override;
    const std::string& Path() const override { return path_; }

private:
    void TakeCopy();

    std::unique_ptr<IFile> inner_;
    std::string path_;
    uint64_t maxCopy_ = 0;  // 0: no copy
    uint64_t readInPlace_ = 0;
    uint8_t* copy_ = nullptr;
    uint64_t copySize_ = 0;
    size_t mapped_ = 0;
};

}  // namespace tlvx
