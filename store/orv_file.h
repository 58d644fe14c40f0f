// TOrvFile: one storage file, its 128-byte header and every positioned read
// and write of the store.
//
// Construction opens or creates the file, checks or writes the header, and
// then creates the two managers that live inside the file: the space
// allocator (TSpaceManager) and the atom manager. The atom manager belongs
// to the layer above; it is made by the factory passed in TOrvFileOptions
// and reached through AtomManager() (cast it to its interface with RefCast).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/guid.h"
#include "platform/lock.h"
#include "store/access_modes.h"
#include "store/chain_summary.h"
#include "store/internal_object.h"
#include "store/orv_header.h"
#include "store/space_allocator.h"

namespace tlvx {

class TOrvFile;

// The library-wide AtomSizeAlign that new files get (default 1; 0 counts
// as 1). The storage factory sets it from its open parameter.
void SetAtomSizeAlign(uint8_t align);
uint8_t GetAtomSizeAlign();

struct TOrvFileOptions {
    // How long an open waits, while the line for the file does not move,
    // for a conflicting open of another process to go away before it fails
    // with 201 (TFileOptions::lockWaitMs; the ceiling is the file system's).
    int lockWaitMs = 3000;
    // Makes the atom manager once the space allocator stands; none when empty.
    std::function<Ref<IDisconnectInternalObject>(TOrvFile&)> atomManagerFactory;
    // Wraps the platform file right after it is opened, before the header is
    // read or written (the atom store's rollback journal sits there).
    std::function<std::unique_ptr<IFile>(std::unique_ptr<IFile>)> wrapFile;
    // Asked once the file is wrapped: whether the wrapper has just put back
    // the bytes of an interrupted commit. A writable open then checks every
    // hole of the file, not only the newest (see store/space_manager.h).
    std::function<bool()> recovered;
    // How many of the newest hole slots a writable open reads: 0 for the
    // default, TSpaceManager::kAllSlots for every slot.
    int32_t holeWindowSlots = 0;
    // Walk both table chains from the header instead of trusting the chain
    // summary (store/chain_summary.h); an open that rolled back a commit
    // always does.
    bool checkChains = false;
};

class TOrvFile {
public:
    static constexpr const char* kSignature = "QMZ-STORAGE";
    static constexpr uint16_t kVersion = 516;  // 0x0204
    static constexpr uint64_t kPageSize = 4096;

    // Opens an existing file (read-only or read/write), opens or creates
    // one, or creates a new one (omCreate, and any value beyond it). Raises
    // EOrvOpenError 201..207.
    TOrvFile(const std::string& fileName, bool writeThrough, const std::vector<TGUID>& classes,
             TOpenMode mode, TOrvFileOptions options = {});
    // Writes the modification stamp when the file was changed, disconnects
    // the managers and closes the file. Never throws.
    virtual ~TOrvFile();
    TOrvFile(const TOrvFile&) = delete;
    TOrvFile& operator=(const TOrvFile&) = delete;

    virtual std::string GetSignature() const { return kSignature; }
    virtual uint16_t GetVersion() const { return kVersion; }

    // Reads exactly count bytes (code 9 "File read error" otherwise).
    void ReadAt(void* buffer, uint32_t count, uint64_t position);
    // Code 3 on a read-only file; code 9 "File write error" on failure.
    void WriteAt(const void* buffer, uint32_t count, uint64_t position);
    void Fill(uint32_t count, uint8_t value, uint64_t position);
    // Sets the logical size in the header and the physical size (rounded up
    // to 4096). Growing extends the file before the header claims the new
    // size; shrinking rewrites the header before the file is cut, so a
    // crash in between never leaves a header larger than the file.
    void SetSize(uint64_t logicalSize);
    void SetPhysicalSize(uint64_t size);
    uint64_t PhysicalSize();
    void SetFlags(uint16_t flags);
    void SetHoleTablePos(uint64_t position);
    void SetAtomTablePos(uint64_t position);
    uint32_t HeaderCRC() const;
    void CheckWritable() const;
    // Asks the platform to write the file's buffers to disk; failures ignored.
    void Flush();
    // Sets the modification stamp to now when the file was written since the
    // stamp was last set. A durable commit calls it just before it syncs, so
    // that the stamp goes to disk with the changes it dates and closing the
    // file after the commit has nothing left to write.
    void StampModified();
    double GetCreated() const;
    double GetModified() const;

    // The table chains as the stored summary gives them, for the managers to
    // start from; null when the file has no usable summary or the open checks
    // the chains in full.
    const TChainSummary* TrustedChains() const {
        return stored_ && !checkChains_ ? &*stored_ : nullptr;
    }
    // The summary's block while it is valid, which no hole may overlap
    // (position 0 when there is none).
    uint64_t SummaryPosition() const { return summaryValid_ ? header_.summaryPos : 0; }
    uint32_t SummarySize() const { return summaryValid_ ? header_.summarySize : 0; }
    // The atom manager tells the whole atom-table chain once it knows it and
    // after each table it appends; the hole chain is the space manager's.
    void AtomTablesAre(const std::vector<uint64_t>& positions);
    // Writes the chain summary when the chains no longer match it (or the
    // file has none and its chains have grown long); a durable commit calls
    // it before it syncs. Does nothing until the atom chain is known.
    void UpdateChainSummary();

    const TOrvHeader& Header() const { return header_; }
    uint64_t LogicalSize() const { return header_.logicalSize; }
    uint8_t AtomSizeAlign() const { return header_.atomSizeAlign ? header_.atomSizeAlign : 1; }
    const std::string& FullPath() const { return fullPath_; }
    bool ReadOnly() const { return readOnly_; }
    bool IsNew() const { return isNew_; }
    bool WriteThrough() const { return writeThrough_; }
    bool Modified() const { return modified_; }
    ISpaceAllocator* SpaceAllocator() const { return spaceAllocator_.get(); }
    IDisconnectInternalObject* AtomManager() const { return atomManager_.get(); }

private:
    void Close() noexcept;
    void WriteHeader();
    [[noreturn]] void RaiseOpen(int32_t code) const;
    void CheckHeader(const uint8_t* bytes, size_t got, const std::vector<TGUID>& classes,
                     TOpenMode mode);
    void ReadChainSummary();
    TChainSummary CurrentChains() const;
    void WriteChainSummary(const TChainSummary& chains);

    Ref<IDisconnectInternalObject> atomManager_;
    bool isNew_ = false;
    std::unique_ptr<IFile> file_;
    uint64_t physicalSize_ = 0;
    TOrvHeader header_;
    mutable TCriticalSection lock_;
    bool modified_ = false;
    bool unstamped_ = false;  // written since the modification stamp was set
    std::string fileName_;  // as passed, for the open errors
    std::string fullPath_;
    bool readOnly_ = false;
    Ref<ISpaceAllocator> spaceAllocator_;
    bool writeThrough_ = false;
    // The summary as stored, and whether its block passed the checks (only
    // then is it rewritten in place or freed).
    std::optional<TChainSummary> stored_;
    bool summaryValid_ = false;
    bool checkChains_ = false;
    std::optional<std::vector<uint64_t>> atomTables_;
};

}  // namespace tlvx
