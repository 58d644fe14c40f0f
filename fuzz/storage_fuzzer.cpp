// Opens a storage file made of the input (its CRCs made to agree) and
// reads everything in it; when a read-only open succeeds, one small
// transaction is committed through a writable open, and the file must then
// still open and read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_guard.h"
#include "fuzz/storage_checks.h"
#include "fuzz/storage_walk.h"
#include "platform/testing/memory_file_system.h"
#include "store/btree_factory.h"
#include "store/indexer.h"
#include "store/orv_storage.h"

using namespace tlvx;

namespace {

const std::string kPath = "/fuzz/input.orv";

Ref<TOrvStorage> OpenStorage(TOpenMode mode, const TGUID* dataClass) {
    TStorageOpenParams params;
    params.Mode = mode;
    if (dataClass) params.Classes.push_back(*dataClass);
    return TOrvStorage::Open(kPath, params);
}

// One hit's worth of changes: root data, a new atom, an index key.
void WriteOnce(const TGUID& dataClass) {
    auto storage = OpenStorage(omOpen, &dataClass);
    auto tr = storage->StartTransaction();
    {
        auto root = tr->OpenRootAtom();
        root->Write(0, "hit", 3);
        auto fresh = tr->CreateAtom();
        fresh->SetAsString("value");
        root->SetLink(root->GetLinkCount(), fresh);
        if (root->HasLink(0)) {
            auto first = root->OpenLink(0);
            if (first && IndexFactory()->IsBTreeIndex(first)) {
                auto index = IndexFactory()->OpenIndex(first, "", "");
                first.reset();
                index->Insert("fuzz-key")->SetAsString("1");
                Ref<IIndexerCursor> cursor;
                std::string key;
                if (index->GetCursor(cursor)) key = cursor->GetKey();
                cursor.reset();
                index->Delete(key);
            }
        }
    }
    tr->Commit();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemoryFileSystemScope* files = new TMemoryFileSystemScope;
    files->Files().Clear();
    std::string file(reinterpret_cast<const char*>(data), size);
    RewriteStorageChecks(file);
    files->Files().SetContents(kPath, file);

    bool readable = false;
    TGUID dataClass;
    RunGuarded([&] {
        auto storage = OpenStorage(omReadOnly, nullptr);
        dataClass = storage->GetDataClass();
        readable = true;
        WalkStorage(storage);
    });
    if (!readable) return 0;

    RunGuarded([&] { WriteOnce(dataClass); });
    // Whatever the writable open made of the file, it must still open.
    bool reopened = false;
    RunGuarded([&] {
        auto storage = OpenStorage(omReadOnly, nullptr);
        reopened = true;
        WalkStorage(storage);
    });
    FuzzCheck(reopened, "a file that opened read-only no longer opens after a write");
    return 0;
}
