// A counter database file for the collection tests: one storage file in a
// fresh directory, one transaction, fixed clock and GUIDs, and the steps to
// commit and open the file again, writable or read-only.
#pragma once

#include <functional>
#include <string>

#include "model/error_notes.h"
#include "store/errors.h"
#include "store/storage_factory.h"
#include "store/testing/store_env.h"
#include "store/virtual_storage.h"

namespace tlvx::test {

inline constexpr const char* kTestDataClass = "{EEF8A118-B004-4CEF-885D-7A6D41788651}";

class TCollectionTestDb {
public:
    TCollectionTestDb() {
        ResetErrorNotes();
        Open(false);
    }
    ~TCollectionTestDb() {
        Close();
        ResetErrorNotes();
    }

    // The root's child at link, a new atom linked there when missing.
    Ref<IVirtualAtom> Child(int32_t link) {
        if (Ref<IVirtualAtom> a = root->OpenLink(link)) return a;
        Ref<IVirtualAtom> a = tr->CreateAtom();
        root->SetLink(link, a);
        return a;
    }

    // Commits (the caller has dropped every collection and atom but the
    // root) and opens the file again.
    void Reopen(bool readOnly) {
        root.reset();
        if (tr && (tr->GetAccessMask() & amCreateAtoms)) tr->Commit();
        Close();
        Open(readOnly);
    }

    void Close() {
        root.reset();
        tr.reset();
        storage.reset();
    }

    std::string Path() const { return env.dir.File("counter.orv"); }

    TStoreTestEnv env;
    Ref<IVirtualStorage> storage;
    Ref<IStorageTransaction> tr;
    Ref<IVirtualAtom> root;

private:
    void Open(bool readOnly) {
        std::string params = std::string(readOnly ? "mode=readonly" : "mode=openorcreate") +
                             "; class=" + kTestDataClass;
        storage = StorageFactory().OpenStorage(0, 0, Path(), "", params);
        tr = storage->StartTransaction();
        root = tr->OpenRootAtom();
    }
};

// The store error code f raises, 0 when it raises none.
inline int32_t StoreCodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EQmzError& e) {
        return e.ErrorCode();
    }
    return 0;
}

}  // namespace tlvx::test
