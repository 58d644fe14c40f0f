// A counter database file for the node and collection tests: opened through
// the storage factory, one transaction at a time, with the fixed clock.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "model/error_notes.h"
#include "model/node_collection.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/temp_dir.h"
#include "store/orv_storage.h"
#include "store/storage_factory.h"
#include "store/virtual_storage.h"

namespace tlvx::test {


class NodeStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetStorageCreator(OrvStorageCreator());
        SetClock(&clock_);
        ResetErrorNotes();
    }
    void TearDown() override {
        tr_.reset();
        storage_.reset();
        SetClock(nullptr);
        ResetErrorNotes();
    }
    // Opens the file ("openorcreate" or "readonly") and starts a transaction.
    void Begin(const std::string& mode = "openorcreate") {
        storage_ = StorageFactory().OpenStorage(
            0, 0, "file://" + path_, "",
            "mode=" + mode + "; class={5E1F0C3A-7D21-4B8E-9A44-1C0FFEE00001}");
        tr_ = storage_->StartTransaction();
    }
    // Every view over the transaction's atoms must be gone by now.
    void Commit() {
        tr_->Commit();
        tr_.reset();
        storage_.reset();
    }
    void Abandon() {
        tr_.reset();
        storage_.reset();
    }
    Ref<IVirtualAtom> Root() { return tr_->OpenRootAtom(); }

    TSettableClock clock_{EncodeDateTime(2026, 12, 8, 13, 45, 30, 250)};
    TTestTempDir dir_;
    std::string path_ = dir_.File("counter.orv");
    Ref<IVirtualStorage> storage_;
    Ref<IStorageTransaction> tr_;
};

// The node tree kept at root link 13, as in a counter database.
class NodeTreeStoreTest : public NodeStoreTest {
protected:
    static constexpr int32_t kTreeLink = 13;
    void NewTree() {
        Begin();
        Ref<IVirtualAtom> rootAtom;
        nodes_ = TNodeCollection::Create(tr_, rootAtom);
        Root()->SetLink(kTreeLink, rootAtom);
    }
    void OpenTree(const std::string& mode = "openorcreate") {
        Begin(mode);
        nodes_ = TNodeCollection::Open(Root()->OpenLink(kTreeLink));
    }
    void CommitTree() {
        nodes_.reset();
        Commit();
    }
    void CloseTree() {
        nodes_.reset();
        Abandon();
    }
    Ref<INodeCollection> nodes_;
};

}  // namespace tlvx::test
