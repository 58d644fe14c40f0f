// Runs the input as a sequence of index operations on a B-tree in a storage
// file (inserts, deletes, finds, seeks, walks, commits with a reopen of the
// file, aborts) and compares every answer with a std::map.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "fuzz/fuzz_guard.h"
#include "platform/testing/memory_file_system.h"
#include "store/btree_factory.h"
#include "store/indexer.h"
#include "store/orv_storage.h"

using namespace tlvx;

namespace {

const std::string kPath = "/fuzz/ops.orv";
constexpr int kMaxOps = 400;

using TModel = std::map<std::string, std::string>;

class TInput {
public:
    TInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Empty() const { return p_ == end_; }
    uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
    // Short keys over a small alphabet, so that operations meet each other.
    std::string Key() {
        const uint8_t b = Byte();
        std::string key(b % 5, '\0');
        for (char& c : key) c = char("ab\x00\xff"[Byte() % 4]);
        if (b & 0x80) key += std::string(size_t(Byte() % 64), 'k');  // now and then a long one
        return key;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

class TSession {
public:
    explicit TSession(uint32_t pageSize) : params_("PageSize=" + std::to_string(pageSize)) {
        TStorageOpenParams params;
        params.Mode = omCreate;
        params.Classes.push_back(TGUID{});
        storage_ = TOrvStorage::Open(kPath, params);
        Begin();
    }
    ~TSession() {
        index_.reset();
        tr_.reset();
        storage_.reset();
    }

    IIndexer& Index() { return *index_; }

    void Commit() {
        index_.reset();
        tr_->Commit();
        tr_.reset();
        // The file is read again from scratch by a new open.
        storage_.reset();
        TStorageOpenParams params;
        params.Mode = omOpen;
        params.Classes.push_back(TGUID{});
        storage_ = TOrvStorage::Open(kPath, params);
        Begin();
    }
    void Abort() {
        index_.reset();
        tr_->Abort();
        tr_.reset();
        Begin();
    }

private:
    void Begin() {
        tr_ = storage_->StartTransaction();
        index_ = IndexFactory()->OpenOrCreateIndex(tr_->OpenRootAtom(), 0, "", params_);
    }

    std::string params_;
    Ref<TOrvStorage> storage_;
    Ref<IStorageTransaction> tr_;
    Ref<IIndexer> index_;
};

std::optional<std::string> Expected(const TModel& model, const std::string& key, TSeekMode mode) {
    auto at = model.lower_bound(key);
    const bool exact = at != model.end() && at->first == key;
    switch (mode) {
    case smEqual: return exact ? std::optional(key) : std::nullopt;
    case smGreaterOrEqual: return at != model.end() ? std::optional(at->first) : std::nullopt;
    case smGreater:
        if (exact) ++at;
        return at != model.end() ? std::optional(at->first) : std::nullopt;
    case smLessOrEqual:
        if (exact) return key;
        [[fallthrough]];
    case smLess:
        return at != model.begin() ? std::optional(std::prev(at)->first) : std::nullopt;
    }
    return std::nullopt;
}

void CheckWalk(IIndexer& index, const TModel& model) {
    Ref<IIndexerCursor> cursor;
    bool on = index.GetCursor(cursor);
    FuzzCheck(cursor && cursor->GetKeyCount() == int32_t(model.size()), "wrong key count");
    FuzzCheck(cursor->IsEmpty() == model.empty(), "wrong emptiness");
    for (const auto& [key, value] : model) {
        FuzzCheck(on && cursor->GetKey() == key, "forward walk differs");
        FuzzCheck(cursor->GetValue()->GetAsString() == value, "value differs on the walk");
        on = cursor->Next();
    }
    FuzzCheck(!on, "forward walk runs past the last key");
    on = cursor->Last();
    for (auto it = model.rbegin(); it != model.rend(); ++it) {
        FuzzCheck(on && cursor->GetKey() == it->first, "backward walk differs");
        on = cursor->Prior();
    }
    FuzzCheck(!on, "backward walk runs past the first key");
}

void Run(TInput& in) {
    TSession session(4 + 2 * (in.Byte() % 8));
    TModel model, committed;
    int serial = 0;
    for (int op = 0; op < kMaxOps && !in.Empty(); ++op) {
        IIndexer& index = session.Index();
        const uint8_t code = in.Byte();
        switch (code % 10) {
        case 0: case 1: case 2: {
            std::string key = in.Key(), value = std::to_string(++serial);
            index.Insert(key)->SetAsString(value);
            model[key] = value;
            break;
        }
        case 3: case 4: {
            std::string key = in.Key();
            FuzzCheck(index.Delete(key) == (model.erase(key) == 1), "delete differs");
            break;
        }
        case 5: {
            std::string key = in.Key();
            Ref<IVirtualAtom> value;
            const bool found = index.Find(key, value);
            auto it = model.find(key);
            FuzzCheck(found == (it != model.end()), "find differs");
            if (found) FuzzCheck(value->GetAsString() == it->second, "found value differs");
            break;
        }
        case 6: {
            std::string key = in.Key();
            const auto mode = TSeekMode(in.Byte() % 5);
            Ref<IIndexerCursor> cursor;
            index.GetCursor(cursor);
            const bool found = cursor->Seek(key, mode);
            auto want = Expected(model, key, mode);
            FuzzCheck(found == want.has_value(), "seek finds differently");
            if (found) FuzzCheck(cursor->GetKey() == *want, "seek lands elsewhere");
            break;
        }
        case 7: CheckWalk(index, model); break;
        case 8:
            session.Commit();
            committed = model;
            break;
        case 9:
            if (code & 0x10) {
                index.Clear();
                model.clear();
            } else {
                session.Abort();
                model = committed;
            }
            break;
        }
    }
    session.Commit();
    CheckWalk(session.Index(), model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemoryFileSystemScope* files = new TMemoryFileSystemScope;
    files->Files().Clear();
    TInput in(data, size);
    // Every operation here is legal: any error at all is a fault.
    try {
        Run(in);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        FuzzFail("a legal index operation failed");
    }
    return 0;
}
