// A counter database in a temporary directory, opened the way the programs
// open it, with a fixed clock and GUID source.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "model/counter2.h"
#include "model/error_notes.h"
#include "model/testing/skin_pictures.h"
#include "platform/file.h"
#include "store/journaled_file.h"
#include "store/testing/store_env.h"

namespace tlvx::test {

class CounterDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { ResetErrorNotes(); }
    void TearDown() override { ResetErrorNotes(); }

    Ref<ICounter2> Open(bool readOnly = false, bool withSkin = true) {
        Ref<ICounter2> counter;
        TSkinStreams none{};
        OpenCounter2(path, counter, withSkin ? pictures.Pointers() : none, readOnly, "id=1");
        return counter;
    }
    bool Exists(const std::string& p) { return FileSystem().Exists(p); }
    bool AnyFileLeft() {
        return Exists(path) || Exists(path + "-install") ||
               Exists(JournalPathOf(ExpandFileName(path)));
    }

    TStoreTestEnv env;
    TDefaultSkinPictures pictures;
    std::string path = env.dir.File("counter.orv");
};

}  // namespace tlvx::test
