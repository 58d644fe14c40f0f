// A storage file whose changes reach the disk all at once or not at all.
//
// Writes and size changes are kept in memory, page by page, until Sync. Sync
// is the commit, with a sidecar rollback journal ("<database>-journal"):
//   1. the journal gets the original bytes of every region that will be
//      overwritten or cut off, the original size, and a hash of every page
//      as the commit leaves it with the final size; it is synced (and, when
//      this session has just created it, its directory too);
//   2. the database is written and synced: the commit is durable;
//   3. the journal is emptied, without a sync.
// An open that finds a complete journal checks whether the database already
// holds the committed pages and size: if so the commit stands, otherwise the
// saved bytes are put back. So a journal that outlives its commit (step 3 not
// on disk at a crash) does no harm, and step 3 costs no sync. The journal is
// kept for the session and removed when the file is closed. Closing commits
// what is still pending. The database format is unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace tlvx {

std::string JournalPathOf(const std::string& databasePath);

// Restores the database from its journal when there is a complete one, then
// removes the journal; an incomplete journal (the database was not touched
// yet) is only removed. The database must be open for writing under its
// exclusive lock. Returns true when bytes were restored.
bool RollBackJournal(IFile& database, const std::string& journalPath);

// A non-empty journal beside the database at path: a commit that may need
// rolling back. Seen under a share lock it is the remains of a writer that died.
bool HasLeftoverJournal(const std::string& path);

// Restores a leftover journal of the database at path before an open: takes
// the exclusive lock for the time of the repair (waiting up to lockWaitMs).
// Does nothing when there is no journal.
void RecoverDatabase(const std::string& path, int lockWaitMs);

class TJournaledFile : public IFile {
public:
    // Rolls back a journal left by an earlier crash (inner must be writable).
    TJournaledFile(std::unique_ptr<IFile> inner, std::string journalPath);
    // Commits what is pending; failures leave the journal for the next open.
    ~TJournaledFile() override;

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override;
    void WriteAt(const void* buffer, size_t count, uint64_t position) override;
    void SetSize(uint64_t size) override;
    uint64_t Size() override { return size_; }
    // The commit.
    void Sync() override;
    const std::string& Path() const override { return inner_->Path(); }

    // File and directory syncs done so far.
    uint64_t SyncCount() const { return syncs_; }

private:
    static constexpr uint64_t kPage = 4096;
    std::vector<uint8_t>& Page(uint64_t index);
    void ReadBase(uint8_t* out, uint64_t count, uint64_t position);
    void Reset();

    std::unique_ptr<IFile> inner_;
    std::string journal_;
    std::map<uint64_t, std::vector<uint8_t>> pages_;  // changed pages
    uint64_t baseSize_ = 0;  // size on disk
    uint64_t size_ = 0;      // size as written
    uint64_t minSize_ = 0;   // smallest size since the last commit
    bool dirty_ = false;
    // The journal, from the first commit of the session to its end; empty
    // between commits.
    std::unique_ptr<IFile> journalFile_;
    bool journalListed_ = false;  // its directory entry is on disk
    // A commit failed after it started to change the file: its journal must
    // stay for the next open, and nothing more is committed.
    bool failed_ = false;
    uint64_t syncs_ = 0;
};

}  // namespace tlvx
