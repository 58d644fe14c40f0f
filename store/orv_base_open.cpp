#include "store/orv_base_open.h"

#include "store/errors.h"
#include "store/journaled_file.h"
#include "store/orv_file.h"
#include "store/repaired_view.h"
#include "store/snapshot_file.h"

namespace tlvx {

namespace {

class TOrvAtomFile : public IAtomFile {
public:
    TOrvAtomFile(std::unique_ptr<TOrvFile> file, TJournaledFile* journal)
        : file_(std::move(file)), journal_(journal) {}

    void ReadAt(void* b, uint32_t n, uint64_t pos) override { file_->ReadAt(b, n, pos); }
    void WriteAt(const void* b, uint32_t n, uint64_t pos) override { file_->WriteAt(b, n, pos); }
    void Fill(uint32_t n, uint8_t v, uint64_t pos) override { file_->Fill(n, v, pos); }
    void CheckWritable() const override { file_->CheckWritable(); }
    bool IsReadOnly() const override { return file_->ReadOnly(); }
    bool IsNew() const override { return file_->IsNew(); }
    const std::string& FullPath() const override { return file_->FullPath(); }
    uint64_t LogicalSize() const override { return file_->LogicalSize(); }
    uint8_t AtomSizeAlign() const override { return file_->AtomSizeAlign(); }
    uint64_t AtomTablePos() const override { return file_->Header().atomTablePos; }
    void SetAtomTablePos(uint64_t p) override { file_->SetAtomTablePos(p); }
    uint16_t Flags() const override { return file_->Header().flags; }
    void SetFlags(uint16_t f) override { file_->SetFlags(f); }
    uint64_t Alloc(uint32_t size) override { return file_->SpaceAllocator()->Alloc(size); }
    void Free(uint32_t size, uint64_t pos) override { file_->SpaceAllocator()->Free(size, pos); }
    // The commit of the journal; unlike a plain flush its failure is reported.
    // The stamp goes with it: otherwise closing would have to commit again
    // for the stamp alone.
    const std::vector<uint64_t>* SummarizedAtomTables() const override {
        const TChainSummary* chains = file_->TrustedChains();
        return chains ? &chains->atomTables : nullptr;
    }
    void AtomTablesAre(const std::vector<uint64_t>& positions) override {
        file_->AtomTablesAre(positions);
    }
    void Flush() override {
        if (!file_->ReadOnly()) file_->UpdateChainSummary();
        file_->StampModified();
        if (journal_) {
            try {
                journal_->Sync();
            } catch (const EPlatformError& e) {
                EQmzError error(ecFileIO, TQmzMessage::FileWrite);
                error.SetCause(e.what());
                throw error;
            }
        } else {
            file_->Flush();
        }
    }

    TOrvFile& File() { return *file_; }
    uint64_t Syncs() const { return journal_ ? journal_->SyncCount() : 0; }

private:
    std::unique_ptr<TOrvFile> file_;
    TJournaledFile* journal_;
};

}  // namespace

std::unique_ptr<TOrvBase> OpenOrvBase(const std::string& fileName, bool writeThrough,
                                      const std::vector<TGUID>& classes, TOpenMode mode,
                                      int lockWaitMs, uint64_t snapshotBytes) {
    TJournaledFile* journal = nullptr;
    TSnapshotFile* snapshot = nullptr;
    TOrvFileOptions options;
    options.lockWaitMs = lockWaitMs;
    if (mode != omReadOnly) {
        options.wrapFile = [&journal](std::unique_ptr<IFile> f) -> std::unique_ptr<IFile> {
            const std::string path = JournalPathOf(ExpandFileName(f->Path()));
            auto j = std::make_unique<TJournaledFile>(std::move(f), path);
            journal = j.get();
            return j;
        };
        options.recovered = [&journal] { return journal != nullptr && journal->RestoredAtOpen(); };
    } else {
        // Under the share lock no writer is active: a journal seen now is a
        // dead writer's (left before this open, or while it waited for the
        // lock), and is read through, never repaired, so that the copy a
        // reader may take is of a committed state too.
        options.wrapFile = [&snapshot, snapshotBytes](std::unique_ptr<IFile> f) -> std::unique_ptr<IFile> {
            const std::string journalPath = JournalPathOf(ExpandFileName(f->Path()));
            f = ViewAsRepaired(std::move(f), journalPath);
            if (snapshotBytes == 0) return f;
            auto s = std::make_unique<TSnapshotFile>(std::move(f));
            snapshot = s.get();
            return s;
        };
    }
    // A reader that may write repairs a journal it sees before it opens, as
    // a writer would (RecoverDatabase, which leaves it to the view above
    // when this process may not write). A writer that opens an existing
    // file needs none of this: its journaled file repairs under the one
    // exclusive lock it takes anyway, and a journal seen before that is
    // most often the live commit of the holder it queues behind, so looking
    // would only make it queue twice.
    const bool writerRepairs = mode == omOpen || mode == omOpenOrCreate;
    if (!writerRepairs) {
        try {
            RecoverDatabase(fileName, lockWaitMs);
        } catch (const EPlatformError& e) {
            // Named after the file it concerns (the journal, when it is the journal).
            throw EOrvOpenError(ecOpenFile, TQmzMessage::OpenFile,
                                {OpenErrorFileName(e.Path(), fileName), e.SystemText()});
        }
    }
    auto file = std::make_unique<TOrvFile>(fileName, writeThrough, classes, mode, options);
    // Checked under the share lock, and read through any journal left: a
    // copy taken from now on is a committed state.
    if (snapshot) snapshot->AllowCopy(snapshotBytes);
    return std::make_unique<TOrvBase>(std::make_unique<TOrvAtomFile>(std::move(file), journal));
}

TOrvFile& OrvFileOf(TOrvBase& base) {
    return dynamic_cast<TOrvAtomFile&>(base.File()).File();
}

uint64_t JournalSyncCount(TOrvBase& base) {
    auto* f = dynamic_cast<TOrvAtomFile*>(&base.File());
    return f ? f->Syncs() : 0;
}

}  // namespace tlvx
