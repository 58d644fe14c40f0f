// Failure injection and crash simulation over a base file system.
#include "platform/testing/fault_file_system.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace tlvx {

class TFaultFile;

namespace {

// One change since the file's last sync, with what it replaced.
struct TPendingOp {
    bool isWrite = true;
    uint64_t pos = 0;               // write position, or the new size of a truncate
    std::vector<uint8_t> data;      // bytes written
    std::vector<uint8_t> old;       // bytes replaced (for a shrink: the bytes cut off)
    uint64_t sizeBefore = 0;
    bool failed = false;            // the base's operation raised
};

// A file, apart from the names it goes by.
struct TInode {
    std::vector<TPendingOp> ops;
    // Its bytes when its name was removed, kept while a power loss could
    // bring the name back.
    std::vector<uint8_t> removedBytes;
};

// The crash-point write when tearing: its first half lands (on its file,
// unless the power loss takes the file from its name).
struct TTornWrite {
    std::shared_ptr<TInode> inode;
    uint64_t pos;
    std::vector<uint8_t> data;
};

struct TPlan {
    uint64_t at = 0;  // absolute count; 0 = none
    bool andAfter = false;
    TCrashMode mode = TCrashMode::Apply;
    uint32_t seed = 0;
};

size_t Index(TFaultOp op) { return static_cast<size_t>(op); }

std::string DirectoryOf(const std::string& key) {
    return std::filesystem::path(key).parent_path().string();
}

// Opens a file behind the simulation's back: no lock, no counting.
std::unique_ptr<IFile> OpenRaw(IFileSystem& base, const std::string& key,
                               TDisposition disposition) {
    TFileOptions raw;
    raw.lock = false;
    return base.Open(key, TFileAccess::ReadWrite, disposition, raw);
}

std::vector<uint8_t> ReadWhole(IFileSystem& base, const std::string& key) {
    TFileOptions raw;
    raw.lock = false;
    auto f = base.Open(key, TFileAccess::Read, TDisposition::OpenExisting, raw);
    std::vector<uint8_t> bytes(f->Size());
    bytes.resize(f->ReadAt(bytes.data(), bytes.size(), 0));
    return bytes;
}

}  // namespace

struct TFaultCore {
    explicit TFaultCore(IFileSystem& b) : base(b) {}

    IFileSystem& base;  // holds the files; plays the page cache
    uint64_t counts[kFaultOpKinds] = {};
    TPlan fail[kFaultOpKinds];
    TPlan crash[kFaultOpKinds];
    bool crashed = false;
    // Full path -> the file under that name now (as the page cache sees it).
    std::map<std::string, std::shared_ptr<TInode>> names;
    // Names created or removed since their directory's last sync -> the
    // file the disk still has under the name (null: none).
    std::map<std::string, std::shared_ptr<TInode>> diskNames;
    std::set<TFaultFile*> open;

    // Counts the operation; raises an injected failure, or returns the crash
    // plan when this operation is the crash point.
    const TPlan* Check(TFaultOp op, const std::string& path);
    void DoCrash(TCrashMode mode, uint32_t seed, const TTornWrite* torn);
    void KillOpenFiles();
    void EndProcess();

private:
    void LoseDirectoryChanges(TCrashMode mode, std::mt19937& rng);
    void LoseFileChanges(TCrashMode mode, std::mt19937& rng, const TTornWrite* torn);
};

class TFaultFile : public IFile {
public:
    TFaultFile(std::shared_ptr<TFaultCore> core, std::unique_ptr<IFile> real,
               std::shared_ptr<TInode> inode, bool writeThrough)
        : core_(std::move(core)), real_(std::move(real)), path_(real_->Path()),
          inode_(std::move(inode)), writeThrough_(writeThrough) {
        core_->open.insert(this);
    }
    ~TFaultFile() override { core_->open.erase(this); }

    void Kill() { real_.reset(); }

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override {
        return real_ ? real_->ReadAt(buffer, count, position) : 0;
    }

    void WriteAt(const void* buffer, size_t count, uint64_t position) override {
        if (!real_) return;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        if (const TPlan* plan = core_->Check(TFaultOp::Write, path_)) {
            TTornWrite torn{inode_, position, std::vector<uint8_t>(bytes, bytes + count / 2)};
            core_->DoCrash(plan->mode, plan->seed, &torn);
            throw ESimulatedCrash();
        }
        TPendingOp op;
        op.pos = position;
        op.data.assign(bytes, bytes + count);
        op.sizeBefore = real_->Size();
        if (position < op.sizeBefore) {
            op.old.resize(std::min<uint64_t>(count, op.sizeBefore - position));
            op.old.resize(real_->ReadAt(op.old.data(), op.old.size(), position));
        }
        Record(std::move(op), [&] { real_->WriteAt(buffer, count, position); });
        if (writeThrough_) inode_->ops.clear();
    }

    void SetSize(uint64_t size) override {
        if (!real_) return;
        if (const TPlan* plan = core_->Check(TFaultOp::Truncate, path_)) {
            core_->DoCrash(plan->mode, plan->seed, nullptr);
            throw ESimulatedCrash();
        }
        TPendingOp op;
        op.isWrite = false;
        op.pos = size;
        op.sizeBefore = real_->Size();
        if (size < op.sizeBefore) {
            op.old.resize(op.sizeBefore - size);
            op.old.resize(real_->ReadAt(op.old.data(), op.old.size(), size));
        }
        Record(std::move(op), [&] { real_->SetSize(size); });
    }

    uint64_t Size() override { return real_ ? real_->Size() : 0; }

    // The base is not asked: what a sync makes durable is simulated.
    void Sync() override {
        if (!real_) return;
        if (const TPlan* plan = core_->Check(TFaultOp::Sync, path_)) {
            core_->DoCrash(plan->mode, plan->seed, nullptr);
            throw ESimulatedCrash();
        }
        inode_->ops.clear();
    }

    const std::string& Path() const override { return path_; }

private:
    // The change is logged before it is made, so that even a half-done failed
    // operation is undone by a crash that drops.
    template <class F>
    void Record(TPendingOp op, F perform) {
        inode_->ops.push_back(std::move(op));
        const size_t at = inode_->ops.size() - 1;
        try {
            perform();
        } catch (...) {
            inode_->ops[at].failed = true;
            throw;
        }
    }

    std::shared_ptr<TFaultCore> core_;
    std::unique_ptr<IFile> real_;  // null once the process has "crashed"
    std::string path_;
    std::shared_ptr<TInode> inode_;
    bool writeThrough_;
};

const TPlan* TFaultCore::Check(TFaultOp op, const std::string& path) {
    const size_t i = Index(op);
    const uint64_t n = ++counts[i];
    if (crash[i].at != 0 && n == crash[i].at) return &crash[i];
    if (fail[i].at != 0 && (n == fail[i].at || (fail[i].andAfter && n > fail[i].at))) {
        static const char* const kNames[] = {"write", "sync", "truncate", "directory sync"};
        throw EPlatformError(std::string("Injected ") + kNames[i] + " failure on \"" + path + "\"",
                             EIO);
    }
    return nullptr;
}

void TFaultCore::KillOpenFiles() {
    for (TFaultFile* f : open) f->Kill();
}

void TFaultCore::EndProcess() {
    KillOpenFiles();
    open.clear();  // killed files stay dead; their destructors find nothing
    crashed = false;
    for (size_t i = 0; i < kFaultOpKinds; ++i) {
        counts[i] = 0;
        fail[i] = TPlan{};
        crash[i] = TPlan{};
    }
}

namespace {

void Undo(IFile& f, const TPendingOp& op) {
    if (op.isWrite) {
        if (!op.old.empty()) f.WriteAt(op.old.data(), op.old.size(), op.pos);
        f.SetSize(op.sizeBefore);
    } else {
        f.SetSize(op.sizeBefore);
        if (!op.old.empty()) f.WriteAt(op.old.data(), op.old.size(), op.pos);
    }
}

void Redo(IFile& f, const TPendingOp& op) {
    if (op.isWrite) {
        f.WriteAt(op.data.data(), op.data.size(), op.pos);
    } else {
        f.SetSize(op.pos);
    }
}

}  // namespace

void TFaultCore::DoCrash(TCrashMode mode, uint32_t seed, const TTornWrite* torn) {
    KillOpenFiles();
    crashed = true;
    if (mode == TCrashMode::Kill) return;
    if (mode == TCrashMode::Apply) {
        for (auto& [key, inode] : names) inode->ops.clear();
        diskNames.clear();
        return;
    }
    std::mt19937 rng(seed);
    LoseDirectoryChanges(mode, rng);
    LoseFileChanges(mode, rng, torn);
}

// Every name whose change did not reach the disk names the file the disk has
// under it again (or nothing).
void TFaultCore::LoseDirectoryChanges(TCrashMode mode, std::mt19937& rng) {
    for (auto& [key, disk] : diskNames) {
        if (mode == TCrashMode::Tear && (rng() & 1) != 0) continue;  // it landed
        names.erase(key);
        base.Remove(key);
        if (!disk) continue;
        auto f = OpenRaw(base, key, TDisposition::CreateNew);
        if (!disk->removedBytes.empty())
            f->WriteAt(disk->removedBytes.data(), disk->removedBytes.size(), 0);
        disk->removedBytes.clear();
        names[key] = disk;
    }
    diskNames.clear();
}

void TFaultCore::LoseFileChanges(TCrashMode mode, std::mt19937& rng, const TTornWrite* torn) {
    for (auto& [key, inode] : names) {
        const bool tornHere = mode == TCrashMode::Tear && torn && torn->inode == inode;
        if (!inode->ops.empty() || tornHere) {
            std::unique_ptr<IFile> f;
            try {
                f = OpenRaw(base, key, TDisposition::OpenExisting);
            } catch (const EPlatformError& e) {
                if (e.Errno() != ENOENT) throw;
                inode->ops.clear();  // removed behind our back: nothing to settle
                continue;
            }
            for (auto op = inode->ops.rbegin(); op != inode->ops.rend(); ++op) Undo(*f, *op);
            if (mode == TCrashMode::Tear) {
                for (const TPendingOp& op : inode->ops)
                    if ((rng() & 1) != 0 && !op.failed) Redo(*f, op);
            }
            if (tornHere && !torn->data.empty())
                f->WriteAt(torn->data.data(), torn->data.size(), torn->pos);
        }
        inode->ops.clear();
    }
}

TFaultFileSystem::TFaultFileSystem(IFileSystem& base) : core_(std::make_shared<TFaultCore>(base)) {}

TFaultFileSystem::~TFaultFileSystem() = default;

std::unique_ptr<IFile> TFaultFileSystem::Open(const std::string& path, TFileAccess access,
                                              TDisposition disposition,
                                              const TFileOptions& options) {
    if (core_->crashed) throw ESimulatedCrash();
    const std::string key = ExpandFileName(path);
    IFileSystem& base = core_->base;
    const bool existed = base.Exists(path);
    std::vector<uint8_t> cut;  // what CreateAlways cuts off
    if (existed && disposition == TDisposition::CreateAlways) cut = ReadWhole(base, key);
    auto real = base.Open(path, access, disposition, options);
    auto& inode = core_->names[key];
    if (!existed) {
        // A name the disk does not have yet (when it had it at the last
        // directory sync, that is recorded already).
        core_->diskNames.try_emplace(key, nullptr);
        inode = std::make_shared<TInode>();
    } else if (!inode) {
        inode = std::make_shared<TInode>();
    }
    if (!cut.empty()) {
        TPendingOp op;
        op.isWrite = false;
        op.pos = 0;
        op.sizeBefore = cut.size();
        op.old = std::move(cut);
        inode->ops.push_back(std::move(op));
    }
    return std::make_unique<TFaultFile>(core_, std::move(real), inode, options.writeThrough);
}

bool TFaultFileSystem::Exists(const std::string& path) { return core_->base.Exists(path); }

bool TFaultFileSystem::Remove(const std::string& path) {
    if (core_->crashed) return false;
    const std::string key = ExpandFileName(path);
    IFileSystem& base = core_->base;
    if (!base.Exists(path)) return base.Remove(path);
    auto it = core_->names.find(key);
    std::shared_ptr<TInode> inode =
        it != core_->names.end() ? it->second : std::make_shared<TInode>();
    if (!core_->diskNames.count(key)) {
        // The disk still has this file under the name.
        inode->removedBytes = ReadWhole(base, key);
        core_->diskNames[key] = inode;
    }
    if (it != core_->names.end()) core_->names.erase(it);
    return base.Remove(path);
}

// Not passed on to the base, as file syncs are not.
void TFaultFileSystem::SyncDirectoryOf(const std::string& path) {
    if (core_->crashed) return;
    if (const TPlan* plan = core_->Check(TFaultOp::DirectorySync, path)) {
        core_->DoCrash(plan->mode, plan->seed, nullptr);
        throw ESimulatedCrash();
    }
    const std::string dir = DirectoryOf(ExpandFileName(path));
    for (auto it = core_->diskNames.begin(); it != core_->diskNames.end();) {
        if (DirectoryOf(it->first) == dir) it = core_->diskNames.erase(it);
        else ++it;
    }
}

uint64_t TFaultFileSystem::Count(TFaultOp op) const { return core_->counts[Index(op)]; }

void TFaultFileSystem::FailAt(TFaultOp op, uint64_t n, bool andAfter) {
    TPlan& p = core_->fail[Index(op)];
    p.at = n == 0 ? 0 : core_->counts[Index(op)] + n;
    p.andAfter = andAfter;
}

void TFaultFileSystem::CrashAt(TFaultOp op, uint64_t n, TCrashMode mode, uint32_t seed) {
    TPlan& p = core_->crash[Index(op)];
    p.at = n == 0 ? 0 : core_->counts[Index(op)] + n;
    p.mode = mode;
    p.seed = seed;
}

void TFaultFileSystem::Crash(TCrashMode mode, uint32_t seed) {
    if (!core_->crashed) core_->DoCrash(mode, seed, nullptr);
}

bool TFaultFileSystem::Crashed() const { return core_->crashed; }

void TFaultFileSystem::Restart() { core_->EndProcess(); }

void TFaultFileSystem::Reset() {
    core_->EndProcess();
    core_->names.clear();
    core_->diskNames.clear();
}

}  // namespace tlvx
