// A storage file whose changes reach the disk all at once or not at all.
//
// Writes and size changes are kept in memory, page by page, until Sync. Sync
// is the commit, with a sidecar rollback journal ("<database>-journal"):
//   1. the journal gets the original bytes of every region that will be
//      overwritten or cut off, the original size, and a hash of every page
//      as the commit leaves it with the final size; it is synced (and, when
//      this session has just created it, its directory too);
//   2. the database is written and synced: the commit is durable;
//   3. the journal is marked idle, without a sync.
// Closing commits what is still pending. The database format is unchanged.
// The store keeps its structures consistent through this commit alone: a
// table appended and the chain summary that lists it (store/chain_summary.h)
// are written by the same commit, so a crash leaves both or neither.
//
// The journal file stays beside the database once made, so that a hit's
// commit costs two syncs and neither a creation nor a removal. Between
// commits it is idle: exactly 16 bytes, "TLVX-JOURNAL-0" padded with zeros.
// An idle journal means that no commit is under way, that the database holds
// every commit made through it, and that its directory entry is on disk (it
// is only ever written by a commit that synced that entry, or after one). A
// session that finds it idle reuses it as it is; one that finds no journal,
// or an empty one, makes it anew and syncs the directory with its first
// commit. A commit journal has a magic of its own ("TLVX-JOURNAL-2", earlier
// "-1") and is dealt with as below. Programs from before idle journals read
// an idle journal as an incomplete one and remove it.
//
// Commit journal: header of magic, u64 original size, u64 final size, u32
// record count, u32 check count, u32 CRC of the header bytes before it.
// Records: u64 position, u32 length, original bytes, u32 CRC. Checks: u64
// position, u32 length, u64 hash of the final bytes, u32 CRC. The CRCs of
// records and checks start from the header's CRC, so that bytes left over
// from another journal never pass for this one's.
//
// Recovery. A journal found beside the database that is not idle is dealt
// with before the database is read, on each road that opens it: a writer's
// open (the constructor below), a reader's repair (RecoverDatabase, under
// the exclusive lock for the time of it; the counter's install run on an
// existing database is a writer's open), and a reader that may not write
// (store/repaired_view.h), which reads the database as the repair would
// leave it and changes nothing. One function decides for every road
// (JudgeJournal), by this rule:
//   - a complete journal whose commit the file does not hold in full: the
//     saved bytes and the original size are put back;
//   - a complete journal whose commit the file holds (every committed range
//     matches its hash, and the size is the final one): the commit stands.
//     So a journal that outlives its commit (step 3 not on disk at a crash)
//     does no harm, and step 3 costs no sync;
//   - an incomplete or empty journal: its commit never touched the file.
// Then, whatever the case, the database is synced, and only then is the
// journal removed (and the removal synced with its directory). A writer killed
// in step 2, after its writes and before its sync, leaves a commit that looks
// complete only through the page cache: a journal removed before the
// database's sync would leave a power loss free to tear that commit with
// nothing left to undo it, and the next commit would save never-synced bytes
// as the original ones. A journal is only ever removed when the database it
// describes is on disk. (The remains of a counter database whose creation
// never finished are removed whole, journal and all: model/counter2_open.cpp.)
//
// platform/testing/crash_matrix.h proves the commit and these roads: a
// process killed at each of its writes and syncs, then the next process, then
// a power loss at each of that one's writes and syncs. It runs over a hit and its successors
// in counter/hit_fault_matrix_test.cpp, over a store commit in
// store/orv_base_crash_test.cpp; a change to the commit must pass both.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "store/clean_pages.h"

namespace tlvx {

std::string JournalPathOf(const std::string& databasePath);

struct TJournal;

// A range of the database as it was before a commit.
struct TJournalRecord {
    uint64_t position;
    std::vector<uint8_t> bytes;
};

// What the journal beside a database asks for, by the recovery rule above.
struct TJournalVerdict {
    // A journal that is not idle: the database is synced, then the journal
    // removed. False for no journal and for an idle one: nothing to do.
    bool leftover = false;
    // Its commit is not complete in the file: the originals are written
    // back in their order, then the file is cut or grown to originalSize.
    bool rollBack = false;
    uint64_t originalSize = 0;
    std::vector<TJournalRecord> originals;
};

// Reads the journal at journalPath and judges it against the database as
// it is now. Changes nothing; the caller holds a share lock of the
// database, so that no commit is under way.
TJournalVerdict JudgeJournal(IFile& database, const std::string& journalPath);

// Deals with a leftover journal as JudgeJournal says: restores the database
// when asked to, syncs it, then removes the journal. The database must be
// open for writing under its exclusive lock. Returns true when bytes were
// restored.
bool RollBackJournal(IFile& database, const std::string& journalPath);

// A non-empty journal beside the database at path: a commit that may need
// rolling back. Seen under a share lock it is the remains of a writer that died.
bool HasLeftoverJournal(const std::string& path);

// Restores a leftover journal of the database at path before an open: takes
// the exclusive lock for the time of the repair (waiting as lockWaitMs
// says). Does nothing when there is no journal, and when this process may
// not write the database (EACCES, EPERM, EROFS): the repair is then left to
// the next writer, and the reader reads through the journal
// (store/repaired_view.h).
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
    // Whether the open put back the bytes of an interrupted commit.
    bool RestoredAtOpen() const { return restoredAtOpen_; }

private:
    static constexpr uint64_t kPage = 4096;
    // Reads up to this size go through the clean-page cache.
    static constexpr uint64_t kSmallRead = 2 * kPage;
    static_assert(kPage == TCleanPages::kPageSize);
    // The commit's stages, in order.
    void ZeroRegrownPages();
    TJournal BuildJournal();
    std::vector<TJournalRecord> ChangedOriginals();
    void ReadOriginal(uint8_t* out, size_t count, uint64_t position);
    void WriteJournal(const TJournal& journal);
    void OpenJournal();
    void WriteDatabase();
    void MarkJournalIdle();

    std::vector<uint8_t>& Page(uint64_t index);
    // The page as it is on disk (cached for a while).
    const uint8_t* CleanPage(uint64_t index);
    void ReadBase(uint8_t* out, uint64_t count, uint64_t position);
    void Reset();

    std::unique_ptr<IFile> inner_;
    std::string journal_;
    std::map<uint64_t, std::vector<uint8_t>> pages_;  // changed pages
    // Unchanged pages read lately, as the disk holds them: the session holds
    // the exclusive lock, so nobody else changes them.
    TCleanPages clean_;
    uint64_t baseSize_ = 0;  // size on disk
    uint64_t size_ = 0;      // size as written
    uint64_t minSize_ = 0;   // smallest size since the last commit
    bool dirty_ = false;
    // The journal, from the first commit of the session to its end; idle
    // between commits.
    std::unique_ptr<IFile> journalFile_;
    bool journalListed_ = false;  // its directory entry is on disk
    // A commit failed after it started to change the file: its journal must
    // stay for the next open, and nothing more is committed.
    bool failed_ = false;
    uint64_t syncs_ = 0;
    bool restoredAtOpen_ = false;
};

}  // namespace tlvx
