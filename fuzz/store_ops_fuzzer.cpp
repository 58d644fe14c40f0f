// Runs the input as a sequence of atom operations on a storage file: data
// writes and resizes, links created, shared, moved and dropped, nested
// transactions committed and aborted, the file closed and opened again.
// After every transaction end the graph reachable from the root atom is
// compared with a model of it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_guard.h"
#include "platform/testing/memory_file_system.h"
#include "store/errors.h"
#include "store/orv_storage.h"

using namespace tlvx;

namespace {

const std::string kPath = "/fuzz/atoms.orv";
constexpr int kMaxOps = 300;
constexpr int kMaxDepth = 4;  // nested transactions
constexpr int kMaxLinks = 8;

struct TModelAtom {
    std::string data;
    std::vector<int> links;  // model ids, 0 = empty
};

// Model ids; 1 is the root atom.
using TGraph = std::map<int, TModelAtom>;

class TInput {
public:
    TInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Empty() const { return p_ == end_; }
    uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

std::vector<int> Trimmed(std::vector<int> links) {
    while (!links.empty() && links.back() == 0) links.pop_back();
    return links;
}

// Compares the stored graph with the model, pairing atoms by the walk.
class TComparer {
public:
    explicit TComparer(const TGraph& graph) : graph_(graph) {}

    void Compare(const Ref<IVirtualAtom>& atom, int id) {
        const uint32_t number = RefCast<IAtomIdentity>(atom)->GetID().AtomNumber;
        auto known = byId_.find(id);
        if (known != byId_.end()) {
            FuzzCheck(known->second == number, "a shared atom came back as two atoms");
            return;
        }
        FuzzCheck(byNumber_.emplace(number, id).second, "two atoms came back as one");
        byId_[id] = number;
        const TModelAtom& model = graph_.at(id);
        FuzzCheck(atom->GetAsString() == model.data, "atom data differs");
        std::vector<int> links = Trimmed(model.links);
        std::vector<bool> stored;
        for (int32_t i = 0; i < atom->GetLinkCount(); ++i) stored.push_back(atom->HasLink(i));
        while (!stored.empty() && !stored.back()) stored.pop_back();
        FuzzCheck(stored.size() == links.size(), "link count differs");
        for (size_t i = 0; i < links.size(); ++i) {
            FuzzCheck(stored[i] == (links[i] != 0), "a link is set differently");
            if (links[i]) Compare(atom->OpenLinkWithMode(int32_t(i), amRead), links[i]);
        }
    }

private:
    const TGraph& graph_;
    std::map<int, uint32_t> byId_;
    std::map<uint32_t, int> byNumber_;
};

class TRun {
public:
    TRun() {
        TStorageOpenParams params;
        params.Mode = omCreate;
        params.Classes.push_back(TGUID{});
        storage_ = TOrvStorage::Open(kPath, params);
        graph_[1] = {};
        Start();
    }
    ~TRun() {
        while (!trs_.empty()) trs_.pop_back();
        storage_.reset();
    }

    // An atom met twice on one path (a link to itself or to the atom picked
    // first) is open already: the share rule refuses the second open before
    // anything changed, so the step is skipped.
    void Step(TInput& in) {
        try {
            Apply(in);
        } catch (const EQmzError& e) {
            if (e.ErrorCode() != ecShareViolation) throw;
        }
    }

    void Apply(TInput& in) {
        const uint8_t code = in.Byte();
        switch (code % 12) {
        case 0: case 1: {  // write data
            int id;
            auto atom = Pick(in, id);
            const int32_t offset = in.Byte() % 40;
            std::string bytes(size_t(in.Byte() % 24), char('a' + code % 26));
            if (code & 0x80) bytes.assign(size_t(in.Byte()) * 4, 'L');  // past an inline entry
            atom->Write(offset, bytes.data(), int32_t(bytes.size()));
            std::string& data = graph_[id].data;
            if (bytes.empty()) break;  // writing nothing grows nothing
            if (data.size() < size_t(offset) + bytes.size()) data.resize(size_t(offset) + bytes.size());
            data.replace(size_t(offset), bytes.size(), bytes);
            break;
        }
        case 2: {  // resize
            int id;
            auto atom = Pick(in, id);
            const int32_t size = in.Byte() % 64;
            atom->SetSize(size);
            graph_[id].data.resize(size_t(size));
            break;
        }
        case 3: case 4: {  // a new atom in a slot
            int id;
            auto atom = Pick(in, id);
            const int slot = in.Byte() % kMaxLinks;
            auto fresh = trs_.back()->CreateAtom();
            fresh->SetAsString(std::to_string(nextId_));
            atom->SetLink(slot, fresh);
            graph_[nextId_] = {std::to_string(nextId_), {}};
            SetModelLink(id, slot, nextId_++);
            break;
        }
        case 5: {  // share an atom reachable elsewhere (cycles allowed)
            int from, to;
            auto atom = Pick(in, from);
            const int slot = in.Byte() % kMaxLinks;
            auto target = Pick(in, to);
            atom->SetLink(slot, target);
            SetModelLink(from, slot, to);
            break;
        }
        case 6: {  // drop, delete or insert a link
            int id;
            auto atom = Pick(in, id);
            const int slot = in.Byte() % kMaxLinks;
            auto& links = graph_[id].links;
            if (code & 0x40) {
                atom->DeleteLink(slot);
                if (size_t(slot) < links.size()) links.erase(links.begin() + slot);
            } else if (code & 0x20) {
                if (size_t(slot) <= links.size() && links.size() < kMaxLinks) {
                    atom->InsertLink(slot, nullptr);
                    links.insert(links.begin() + slot, 0);
                }
            } else {
                atom->SetLink(slot, nullptr);
                SetModelLink(id, slot, 0);
            }
            break;
        }
        case 7:
            if (trs_.size() < kMaxDepth) {
                saved_.push_back(graph_);
                trs_.push_back(trs_.back()->StartTransaction());
            }
            break;
        case 8: case 9: Commit(); break;
        case 10: Abort(); break;
        case 11: Reopen(); break;
        }
    }

    void Finish() { Reopen(); }

private:
    void Start() {
        trs_.push_back(storage_->StartTransaction());
        saved_.assign(1, graph_);
    }

    // An atom reachable from the root, chosen by the input's next bytes.
    Ref<IVirtualAtom> Pick(TInput& in, int& id) {
        id = 1;
        Ref<IVirtualAtom> atom = trs_.back()->OpenRootAtom();
        for (uint8_t steps = in.Byte() % 4; steps > 0; --steps) {
            const auto& links = graph_[id].links;
            if (links.empty()) break;
            const size_t slot = in.Byte() % links.size();
            if (!links[slot]) break;
            atom = atom->OpenLink(int32_t(slot));
            id = links[slot];
        }
        return atom;
    }

    void SetModelLink(int id, int slot, int target) {
        auto& links = graph_[id].links;
        if (links.size() <= size_t(slot)) {
            if (!target) return;
            links.resize(size_t(slot) + 1, 0);
        }
        links[size_t(slot)] = target;
    }

    void Check(const Ref<IVirtualStorage>& where) {
        TComparer comparer(graph_);
        comparer.Compare(where->OpenRootAtomWithMode(amRead), 1);
    }

    void Commit() {
        trs_.back()->Commit();
        trs_.pop_back();
        saved_.pop_back();
        if (trs_.empty()) {
            Check(storage_);
            Start();
        } else {
            Check(trs_.back());
        }
    }

    void Abort() {
        trs_.back()->Abort();
        trs_.pop_back();
        graph_ = saved_.back();
        saved_.pop_back();
        if (trs_.empty()) {
            Check(storage_);
            Start();
        } else {
            Check(trs_.back());
        }
    }

    void Reopen() {
        while (!trs_.empty()) {
            trs_.back()->Commit();
            trs_.pop_back();
        }
        storage_.reset();
        TStorageOpenParams params;
        params.Mode = omOpen;
        params.Classes.push_back(TGUID{});
        storage_ = TOrvStorage::Open(kPath, params);
        Check(storage_);
        Start();
    }

    Ref<TOrvStorage> storage_;
    std::vector<Ref<IStorageTransaction>> trs_;
    TGraph graph_;
    std::vector<TGraph> saved_;  // the graph as each open transaction began
    int nextId_ = 2;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemoryFileSystemScope* files = new TMemoryFileSystemScope;
    files->Files().Clear();
    TInput in(data, size);
    // Every operation here is legal: any error at all is a fault.
    try {
        TRun run;
        for (int op = 0; op < kMaxOps && !in.Empty(); ++op) run.Step(in);
        run.Finish();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        FuzzFail("a legal storage operation failed");
    }
    return 0;
}
