#include "store/orv_file.h"

#include <algorithm>
#include <atomic>

#include "platform/clock.h"
#include "store/errors.h"
#include "store/crc32.h"
#include "store/space_manager.h"

namespace tlvx {
namespace {

std::atomic<uint8_t> atomSizeAlign{1};

uint64_t RoundToPage(uint64_t size) {
    return (size + TOrvFile::kPageSize - 1) & ~(TOrvFile::kPageSize - 1);
}

}  // namespace

void SetAtomSizeAlign(uint8_t align) { atomSizeAlign.store(align ? align : 1); }
uint8_t GetAtomSizeAlign() { return atomSizeAlign.load(); }

TOrvFile::TOrvFile(const std::string& fileName, bool writeThrough,
                   const std::vector<TGUID>& classes, TOpenMode mode, TOrvFileOptions options)
    : fileName_(fileName), writeThrough_(writeThrough) {
    try {
        fullPath_ = ExpandFileName(fileName);
        if ((mode == omOpenOrCreate || mode >= omCreate) && classes.size() != 1) RaiseOpen(ecUnmatchedClass);

        TFileAccess access = TFileAccess::ReadWrite;
        TDisposition disposition = TDisposition::CreateNew;
        switch (mode) {
            case omReadOnly:
                readOnly_ = true;
                access = TFileAccess::Read;
                disposition = TDisposition::OpenExisting;
                break;
            case omOpen: disposition = TDisposition::OpenExisting; break;
            case omOpenOrCreate: disposition = TDisposition::OpenAlways; break;
            default: break;
        }
        TFileOptions fileOptions;
        fileOptions.writeThrough = writeThrough;
        fileOptions.randomAccess = true;
        fileOptions.lock = true;
        fileOptions.lockWaitMs = options.lockWaitMs;
        // Writers before later readers.
        fileOptions.gate = true;
        try {
            file_ = FileSystem().Open(fileName, access, disposition, fileOptions);
            if (options.wrapFile) file_ = options.wrapFile(std::move(file_));
        } catch (const EPlatformError& e) {
            // A wait that gave up says how (EFileLocked's reason), not the
            // system's "Resource temporarily unavailable".
            throw EOrvOpenError(ecOpenFile, TQmzMessage::OpenFile,
                                {OpenErrorFileName(e.Path(), fileName), e.SystemText()});
        } catch (const std::exception& e) {
            throw EOrvOpenError(ecOpenFile, TQmzMessage::OpenFile, {fileName, e.what()});
        }

        isNew_ = mode >= omCreate || (mode == omOpenOrCreate && file_->Size() == 0);
        if (isNew_) {
            header_ = TOrvHeader{};
            header_.signature = GetSignature().substr(0, 16);
            header_.storageId = NewGuid();
            header_.dataClass = classes.front();
            header_.created = header_.modified = StampFromDateTime(Clock().Now());
            header_.maxVersion = header_.minVersion = GetVersion();
            header_.atomSizeAlign = GetAtomSizeAlign();
            header_.logicalSize = kHeaderSize;
            WriteHeader();
        } else {
            uint8_t bytes[kHeaderSize] = {};
            size_t got = 0;
            try {
                got = file_->ReadAt(bytes, kHeaderSize, 0);
            } catch (const EPlatformError&) {
                throw EQmzError(ecFileIO, TQmzMessage::FileRead);
            }
            CheckHeader(bytes, got, classes, mode);
            ReadChainSummary();
        }

        const bool recovered = options.recovered && options.recovered();
        checkChains_ = options.checkChains || recovered;
        spaceAllocator_ = TSpaceManager::Create(
            *this, recovered ? TSpaceManager::kAllSlots : options.holeWindowSlots);
        if (options.atomManagerFactory) atomManager_ = options.atomManagerFactory(*this);
    } catch (...) {
        Close();
        throw;
    }
}

void TOrvFile::CheckHeader(const uint8_t* bytes, size_t got, const std::vector<TGUID>& classes,
                           TOpenMode mode) {
    if (got < kHeaderSize) RaiseOpen(ecInvalidFormat);
    TOrvHeader h = TOrvHeader::Decode(bytes);
    if (h.signature != GetSignature()) RaiseOpen(ecInvalidFormat);
    if (classes.empty() ? mode != omReadOnly
                        : std::find(classes.begin(), classes.end(), h.dataClass) == classes.end())
        RaiseOpen(ecUnmatchedClass);
    if (GetVersion() < h.minVersion || GetVersion() > h.maxVersion)
        RaiseOpen(ecUnsupportedVersion);
    if (Crc32(bytes, 124) != h.crc) RaiseOpen(ecHeaderCRC);
    // A logical size inside the header itself can only come from damage;
    // trusting it would let allocations overwrite the header.
    if (file_->Size() < h.logicalSize || h.logicalSize < kHeaderSize) RaiseOpen(ecFileDamaged);
    if ((h.flags & kFlagReadOnly) && !readOnly_) RaiseOpen(ecReadOnlyMarked);
    header_ = h;
}

// A summary that fails a check is ignored: the chains are walked as in a
// file without one, and the next commit writes a new block.
void TOrvFile::ReadChainSummary() {
    const uint64_t position = header_.summaryPos, size = header_.summarySize;
    if (position == 0) return;
    // At most a block's worth of positions of tables that fit in the file.
    if (position < kHeaderSize || position > header_.logicalSize || size < kChainSummaryHeaderBytes ||
        size > header_.logicalSize - position || size > (1u << 20))
        return;
    std::vector<uint8_t> bytes(size_t(size), 0);
    ReadAt(bytes.data(), uint32_t(size), position);
    stored_ = DecodeChainSummary(bytes.data(), bytes.size());
    summaryValid_ = stored_.has_value();
}

void TOrvFile::AtomTablesAre(const std::vector<uint64_t>& positions) { atomTables_ = positions; }

TChainSummary TOrvFile::CurrentChains() const {
    TChainSummary chains;
    if (const auto* space = dynamic_cast<const TSpaceManager*>(spaceAllocator_.get()))
        for (const TSpaceManager::TTableInfo& t : space->Tables()) chains.holeTables.push_back(t.position);
    chains.atomTables = *atomTables_;
    return chains;
}

void TOrvFile::UpdateChainSummary() {
    if (readOnly_ || !atomTables_ || !spaceAllocator_) return;
    // Writing may allocate and free, and so append a hole table: again until
    // the summary holds what the chains are (a block has room to spare, so
    // the second time rewrites it in place).
    for (int pass = 0; pass < 4; ++pass) {
        const TChainSummary chains = CurrentChains();
        if (chains.holeTables.empty() ? header_.holeTablePos != 0
                                      : chains.holeTables.front() != header_.holeTablePos)
            return;
        if (chains.atomTables.empty() ? header_.atomTablePos != 0
                                      : chains.atomTables.front() != header_.atomTablePos)
            return;
        if (stored_ ? *stored_ == chains : chains.TableCount() < kChainSummaryMinTables) return;
        WriteChainSummary(chains);
    }
}

void TOrvFile::WriteChainSummary(const TChainSummary& chains) {
    const uint32_t needed = uint32_t(chains.TableCount());
    const uint32_t capacity =
        summaryValid_ ? uint32_t((header_.summarySize - kChainSummaryHeaderBytes) / 8) : 0;
    if (summaryValid_ && capacity >= needed) {
        const std::vector<uint8_t> block = EncodeChainSummary(chains, capacity);
        WriteAt(block.data(), uint32_t(block.size()), header_.summaryPos);
        stored_ = chains;
        return;
    }
    // Room for a few more tables, so that the next ones cost no new block.
    const uint32_t grown = (needed + 16) & ~15u;
    const uint64_t bytes = ChainSummaryBytes(grown);
    const uint64_t position = spaceAllocator_->Alloc(uint32_t(bytes));
    const std::vector<uint8_t> block = EncodeChainSummary(chains, grown);
    WriteAt(block.data(), uint32_t(block.size()), position);
    const uint64_t oldPosition = header_.summaryPos;
    const uint32_t oldSize = header_.summarySize;
    const bool oldValid = summaryValid_;
    header_.summaryPos = position;
    header_.summarySize = uint32_t(bytes);
    WriteHeader();
    stored_ = chains;
    summaryValid_ = true;
    // A block that failed its checks is left where it is: it may lie on
    // anything.
    if (oldValid) spaceAllocator_->Free(oldSize, oldPosition);
}

void TOrvFile::RaiseOpen(int32_t code) const {
    TQmzMessage id = TQmzMessage::FileDamaged;
    switch (code) {
        case ecInvalidFormat: id = TQmzMessage::InvalidFormat; break;
        case ecUnmatchedClass: id = TQmzMessage::UnmatchedClass; break;
        case ecUnsupportedVersion: id = TQmzMessage::UnsupportedVersion; break;
        case ecReadOnlyMarked: id = TQmzMessage::ReadOnlyMarked; break;
        case ecHeaderCRC: id = TQmzMessage::HeaderCRC; break;
        default: break;
    }
    throw EOrvOpenError(code, id, {fileName_});
}

TOrvFile::~TOrvFile() {
    if (file_ && !readOnly_ && unstamped_) {
        try {
            StampModified();
        } catch (...) {
            // Closing must not throw; the stamp is the only thing lost.
        }
    }
    Close();
}

void TOrvFile::StampModified() {
    if (readOnly_ || !unstamped_) return;
    header_.modified = StampFromDateTime(Clock().Now());
    WriteHeader();
    unstamped_ = false;
}

void TOrvFile::Close() noexcept {
    for (Ref<IDisconnectInternalObject> manager :
         {atomManager_, Ref<IDisconnectInternalObject>(
                            dynamic_cast<IDisconnectInternalObject*>(spaceAllocator_.get()))}) {
        if (manager) manager->Disconnect();
    }
    // The file (and its lock) before the managers' memory.
    file_.reset();
    atomManager_.reset();
    spaceAllocator_.reset();
}

void TOrvFile::WriteHeader() {
    modified_ = unstamped_ = true;
    auto bytes = header_.Encode();
    header_.crc = Crc32(bytes.data(), 124);
    TCriticalSectionGuard guard(lock_);
    try {
        file_->WriteAt(bytes.data(), bytes.size(), 0);
    } catch (const EPlatformError&) {
        throw EQmzError(ecFileIO, TQmzMessage::FileWrite);
    }
}

void TOrvFile::ReadAt(void* buffer, uint32_t count, uint64_t position) {
    TCriticalSectionGuard guard(lock_);
    size_t got = 0;
    try {
        got = file_->ReadAt(buffer, count, position);
    } catch (const EPlatformError&) {
        throw EQmzError(ecFileIO, TQmzMessage::FileRead);
    }
    if (got < count) throw EQmzError(ecFileIO, TQmzMessage::FileRead);
}

void TOrvFile::WriteAt(const void* buffer, uint32_t count, uint64_t position) {
    CheckWritable();
    TCriticalSectionGuard guard(lock_);
    modified_ = unstamped_ = true;
    try {
        file_->WriteAt(buffer, count, position);
    } catch (const EPlatformError&) {
        throw EQmzError(ecFileIO, TQmzMessage::FileWrite);
    }
}

void TOrvFile::Fill(uint32_t count, uint8_t value, uint64_t position) {
    CheckWritable();
    TCriticalSectionGuard guard(lock_);
    modified_ = unstamped_ = true;
    uint8_t buffer[1024];
    std::fill(std::begin(buffer), std::end(buffer), value);
    try {
        while (count > 0) {
            uint32_t n = std::min<uint32_t>(count, sizeof buffer);
            file_->WriteAt(buffer, n, position);
            position += n;
            count -= n;
        }
    } catch (const EPlatformError&) {
        throw EQmzError(ecFileIO, TQmzMessage::FileWrite);
    }
}

void TOrvFile::SetSize(uint64_t logicalSize) {
    if (logicalSize == header_.logicalSize) {
        SetPhysicalSize(RoundToPage(logicalSize));
        return;
    }
    CheckWritable();
    const bool grows = logicalSize > header_.logicalSize;
    if (grows) SetPhysicalSize(RoundToPage(logicalSize));
    const uint64_t old = header_.logicalSize;
    header_.logicalSize = logicalSize;
    try {
        WriteHeader();
    } catch (...) {
        header_.logicalSize = old;
        throw;
    }
    if (!grows) SetPhysicalSize(RoundToPage(logicalSize));
}

void TOrvFile::SetPhysicalSize(uint64_t size) {
    if (size == physicalSize_ && physicalSize_ != 0) return;
    CheckWritable();
    TCriticalSectionGuard guard(lock_);
    modified_ = unstamped_ = true;
    file_->SetSize(size);
    physicalSize_ = size;
}

uint64_t TOrvFile::PhysicalSize() {
    TCriticalSectionGuard guard(lock_);
    return file_->Size();
}

void TOrvFile::SetFlags(uint16_t flags) {
    if (flags == header_.flags) return;
    CheckWritable();
    header_.flags = flags;
    WriteHeader();
}

void TOrvFile::SetHoleTablePos(uint64_t position) {
    if (position == header_.holeTablePos) return;
    CheckWritable();
    header_.holeTablePos = position;
    WriteHeader();
}

void TOrvFile::SetAtomTablePos(uint64_t position) {
    if (position == header_.atomTablePos) return;
    CheckWritable();
    header_.atomTablePos = position;
    WriteHeader();
}

uint32_t TOrvFile::HeaderCRC() const { return header_.ComputeCrc(); }

void TOrvFile::CheckWritable() const {
    if (readOnly_) throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied);
}

void TOrvFile::Flush() {
    TCriticalSectionGuard guard(lock_);
    try {
        if (file_) file_->Sync();
    } catch (...) {
    }
}

double TOrvFile::GetCreated() const { return StampToDateTime(header_.created); }
double TOrvFile::GetModified() const { return StampToDateTime(header_.modified); }

}  // namespace tlvx
