// A storage file whose changes reach the disk all at once or not at all.
//
// Writes and size changes are kept in memory, page by page, until Sync. Sync
// is the commit: the original bytes of every region that will be overwritten
// or cut off, and the original size, go to a sidecar rollback journal
// ("<database>-journal"), which is synced before the database is touched;
// then the database is written and synced, and deleting the journal is the
// commit point. An open that finds a journal puts the saved bytes back first.
// Closing commits what is still pending. The database format is unchanged.
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
    uint64_t syncs_ = 0;
};

}  // namespace tlvx
