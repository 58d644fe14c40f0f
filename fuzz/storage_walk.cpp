#include "fuzz/storage_walk.h"

#include <string>
#include <vector>

#include "fuzz/fuzz_guard.h"
#include "store/btree_factory.h"
#include "store/indexer.h"

namespace tlvx {

namespace {

constexpr int kMaxAtoms = 512;
constexpr int kMaxLinks = 64;
constexpr int kMaxSteps = 256;

void WalkIndex(const Ref<IIndexer>& index) {
    Ref<IIndexerCursor> cursor;
    bool any = index->GetCursor(cursor);
    if (!cursor) return;
    cursor->IsEmpty();
    cursor->GetKeyCount();
    std::vector<std::string> keys;
    for (int i = 0; any && i < kMaxSteps; ++i) {
        keys.push_back(cursor->GetKey());
        cursor->GetKeyLength();
        cursor->Bof();
        cursor->Eof();
        RunGuarded([&] {
            if (auto v = cursor->GetValue()) v->GetSize();
        });
        any = cursor->Next();
    }
    if (cursor->Last()) {
        for (int i = 0; i < kMaxSteps && cursor->Prior(); ++i) {
        }
    }
    for (const auto& key : keys) {
        for (int mode = smEqual; mode <= smGreaterOrEqual; ++mode)
            cursor->Seek(key, TSeekMode(mode));
        Ref<IVirtualAtom> value;
        index->Find(key, value);
        value.reset();
        Ref<IIndexerCursor> found;
        index->FindCursor(key, found);
    }
    cursor->Seek("", smGreaterOrEqual);
    cursor->Seek(std::string(8, '\xFF'), smLessOrEqual);
    auto clone = cursor->Clone();
    clone->Close();
    cursor->Close();
    if (auto dump = RefCast<IBTreeDump>(index)) {
        std::vector<std::string> lines;
        dump->DumpTree(lines);
    }
}

}  // namespace

void WalkAtom(const Ref<IVirtualAtom>& atom) {
    auto bytes = atom->GetAsBytes();
    FuzzCheck(int32_t(bytes.size()) == atom->GetSize(), "atom size and data disagree");
    uint8_t buffer[16];
    atom->Read(atom->GetSize() - 1, buffer, sizeof buffer);
    atom->Read(-1, buffer, sizeof buffer);
    int32_t links = atom->GetLinkCount();
    for (int32_t i = 0; i < links && i < kMaxLinks; ++i) {
        if (!atom->HasLink(i)) continue;
        RunGuarded([&] {
            if (auto target = atom->OpenLink(i)) target->GetSize();
        });
    }
    if (IndexFactory()->IsBTreeIndex(atom)) {
        RunGuarded([&] { WalkIndex(IndexFactory()->OpenIndex(atom, "", "")); });
    }
}

void WalkStorage(const Ref<IVirtualStorage>& storage) {
    storage->GetDataClass();
    storage->GetStorageID();
    if (auto info = RefCast<IStorageInfo>(storage)) {
        int64_t logical = 0, physical = 0;
        info->GetFileSizes(logical, physical);
        info->GetCreated();
        info->GetModified();
        RunGuarded([&] { WalkAtom(info->OpenSecondRootAtomWithMode(amRead)); });
    }
    RunGuarded([&] { WalkAtom(storage->OpenRootAtomWithMode(amRead)); });
    auto atoms = storage->EnumAtoms(amRead);
    for (int i = 0; i < kMaxAtoms; ++i) {
        Ref<IVirtualAtom> atom;
        bool stop = true;  // an error other than a skipped atom ends the walk
        RunGuarded([&] {
            atom = atoms->Next();
            stop = !atom;
        });
        if (stop) break;
        if (atom) RunGuarded([&] { WalkAtom(atom); });
    }
}

}  // namespace tlvx
