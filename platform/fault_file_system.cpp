// Failure injection and crash simulation over the real file system.
#include "platform/fault_file_system.h"

#include <cerrno>
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
    bool failed = false;            // the real operation raised
};

struct TFileState {
    std::vector<TPendingOp> ops;
};

// The crash-point write when tearing: its first half lands.
struct TTornWrite {
    std::string key;
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

}  // namespace

struct TFaultCore {
    uint64_t counts[3] = {};
    TPlan fail[3];
    TPlan crash[3];
    bool crashed = false;
    std::map<std::string, std::shared_ptr<TFileState>> states;
    std::set<TFaultFile*> open;

    // Counts the operation; raises an injected failure, or returns the crash
    // plan when this operation is the crash point.
    const TPlan* Check(TFaultOp op, const std::string& path);
    void DoCrash(TCrashMode mode, uint32_t seed, const TTornWrite* torn);
    void KillOpenFiles();
};

class TFaultFile : public IFile {
public:
    TFaultFile(std::shared_ptr<TFaultCore> core, std::unique_ptr<IFile> real, std::string key,
               std::shared_ptr<TFileState> state, bool writeThrough)
        : core_(std::move(core)), real_(std::move(real)), path_(real_->Path()),
          key_(std::move(key)), state_(std::move(state)), writeThrough_(writeThrough) {
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
            TTornWrite torn{key_, position, std::vector<uint8_t>(bytes, bytes + count / 2)};
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
        if (writeThrough_) state_->ops.clear();
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

    void Sync() override {
        if (!real_) return;
        if (const TPlan* plan = core_->Check(TFaultOp::Sync, path_)) {
            core_->DoCrash(plan->mode, plan->seed, nullptr);
            throw ESimulatedCrash();
        }
        real_->Sync();
        state_->ops.clear();
    }

    const std::string& Path() const override { return path_; }

private:
    // The change is logged before it is made, so that even a half-done failed
    // operation is undone by a crash that drops.
    template <class F>
    void Record(TPendingOp op, F perform) {
        state_->ops.push_back(std::move(op));
        const size_t at = state_->ops.size() - 1;
        try {
            perform();
        } catch (...) {
            state_->ops[at].failed = true;
            throw;
        }
    }

    std::shared_ptr<TFaultCore> core_;
    std::unique_ptr<IFile> real_;  // null once the process has "crashed"
    std::string path_;
    std::string key_;
    std::shared_ptr<TFileState> state_;
    bool writeThrough_;
};

const TPlan* TFaultCore::Check(TFaultOp op, const std::string& path) {
    const size_t i = Index(op);
    const uint64_t n = ++counts[i];
    if (crash[i].at != 0 && n == crash[i].at) return &crash[i];
    if (fail[i].at != 0 && (n == fail[i].at || (fail[i].andAfter && n > fail[i].at))) {
        static const char* const kNames[] = {"write", "sync", "truncate"};
        throw EPlatformError(std::string("Injected ") + kNames[i] + " failure on \"" + path + "\"",
                             EIO);
    }
    return nullptr;
}

void TFaultCore::KillOpenFiles() {
    for (TFaultFile* f : open) f->Kill();
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
    if (mode == TCrashMode::Apply) torn = nullptr;
    std::mt19937 rng(seed);
    TFileOptions raw;
    raw.lock = false;  // the "dead" process's locks are gone
    for (auto& [key, state] : states) {
        const bool tornHere = mode == TCrashMode::Tear && torn && torn->key == key;
        if (mode != TCrashMode::Apply && (!state->ops.empty() || tornHere)) {
            std::unique_ptr<IFile> f;
            try {
                f = RealFileSystem().Open(key, TFileAccess::ReadWrite, TDisposition::OpenExisting,
                                          raw);
            } catch (const EPlatformError& e) {
                if (e.Errno() != ENOENT) throw;
                state->ops.clear();  // removed behind our back: nothing to settle
                continue;
            }
            for (auto op = state->ops.rbegin(); op != state->ops.rend(); ++op) Undo(*f, *op);
            if (mode == TCrashMode::Tear) {
                for (const TPendingOp& op : state->ops)
                    if ((rng() & 1) != 0 && !op.failed) Redo(*f, op);
            }
            if (tornHere && !torn->data.empty())
                f->WriteAt(torn->data.data(), torn->data.size(), torn->pos);
        }
        state->ops.clear();
    }
}

TFaultFileSystem::TFaultFileSystem() : core_(std::make_shared<TFaultCore>()) {}

TFaultFileSystem::~TFaultFileSystem() = default;

std::unique_ptr<IFile> TFaultFileSystem::Open(const std::string& path, TFileAccess access,
                                              TDisposition disposition,
                                              const TFileOptions& options) {
    if (core_->crashed) throw ESimulatedCrash();
    auto real = RealFileSystem().Open(path, access, disposition, options);
    const std::string key = ExpandFileName(path);
    auto& state = core_->states[key];
    if (!state) state = std::make_shared<TFileState>();
    if (disposition == TDisposition::CreateAlways) state->ops.clear();
    return std::make_unique<TFaultFile>(core_, std::move(real), key, state, options.writeThrough);
}

bool TFaultFileSystem::Exists(const std::string& path) { return RealFileSystem().Exists(path); }

bool TFaultFileSystem::Remove(const std::string& path) {
    if (core_->crashed) return false;
    core_->states.erase(ExpandFileName(path));
    return RealFileSystem().Remove(path);
}

void TFaultFileSystem::SyncDirectoryOf(const std::string& path) {
    if (!core_->crashed) RealFileSystem().SyncDirectoryOf(path);
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

void TFaultFileSystem::Reset() {
    core_->KillOpenFiles();
    auto open = std::move(core_->open);  // killed files stay dead after Reset
    *core_ = TFaultCore{};
}

}  // namespace tlvx
