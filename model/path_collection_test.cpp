#include "model/path_collection.h"

#include <gtest/gtest.h>

#include "model/collection_atoms.h"
#include "model/testing/collection_db.h"
#include "store/btree_factory.h"

namespace tlvx {
namespace {

using test::StoreCodeOf;
using test::TCollectionTestDb;

constexpr int32_t kPathsLink = 14;

TGUID Session(uint8_t n) {
    TGUID g = *StrToGuid("{10203040-5060-7080-90A0-B0C0D0E0F000}");
    g.D4[7] = n;
    return g;
}

class PathCollectionTest : public ::testing::Test {
protected:
    const Ref<IVirtualAtom>& Root() {
        if (!root) root = db.Child(kPathsLink);
        return root;
    }
    void Reopen(bool readOnly) {
        root.reset();
        db.Reopen(readOnly);
    }

    TCollectionTestDb db;
    Ref<IVirtualAtom> root;
};

TEST_F(PathCollectionTest, PathsAndLastNodesSurviveReopenAndAreCounted) {
    auto paths = TPathCollection::Create(Root());
    EXPECT_TRUE(paths->GetPathStatistics().empty());
    EXPECT_EQ(Root()->OpenLink(4)->GetAsString(), "0");
    for (int32_t link : {1, 2, 3}) EXPECT_TRUE(IndexFactory()->IsBTreeIndex(Root()->OpenLink(link)));

    EXPECT_EQ(paths->GetPath(Session(1)), "");
    paths->SetPath(Session(1), "main");
    paths->SetPath(Session(1), "main->news");  // the same entry again
    paths->SetPath(Session(2), "main->news");
    paths->SetPath(Session(3), "MAIN->News");
    paths->SetPath(Session(4), "about");
    paths->SetPath(Session(5), "zoo");
    paths->SetPath(Session(6), "Zoo");
    paths->SetLastNode(Session(1), "news");
    EXPECT_EQ(paths->GetPath(Session(1)), "main->news");
    EXPECT_EQ(paths->GetLastNode(Session(1)), "news");
    EXPECT_EQ(paths->GetLastNode(Session(2)), "");

    // Letter case is ignored and the first spelling in key order stays;
    // equal counts keep case-blind text order.
    const TPathStatistics expected{{"main->news", 3}, {"zoo", 2}, {"about", 1}};
    EXPECT_EQ(paths->GetPathStatistics(), expected);

    paths.reset();
    Reopen(true);
    paths = TPathCollection::Open(Root());
    EXPECT_EQ(paths->GetPathStatistics(), expected);
    EXPECT_EQ(paths->GetLastNode(Session(1)), "news");
    EXPECT_EQ(StoreCodeOf([&] { paths->SetPath(Session(9), "x"); }), ecAccessDenied);
    EXPECT_FALSE(ErrorFlag());
}

TEST_F(PathCollectionTest, OlderFileWithoutLinksReadsEmptyAndGainsThemWhenWritable) {
    Root()->SetAsString("paths");  // a root with no links at all
    Reopen(true);
    auto paths = TPathCollection::Open(Root());
    EXPECT_EQ(paths->GetPath(Session(1)), "");
    EXPECT_EQ(paths->GetLastNode(Session(1)), "");
    EXPECT_TRUE(paths->GetPathStatistics().empty());
    EXPECT_EQ(Root()->GetLinkCount(), 0);
    EXPECT_FALSE(ErrorFlag());

    paths.reset();
    Reopen(false);
    paths = TPathCollection::Open(Root());
    paths->SetLastNode(Session(1), "a");
    EXPECT_EQ(paths->GetLastNode(Session(1)), "a");
    EXPECT_FALSE(Root()->HasLink(2));
    EXPECT_TRUE(Root()->HasLink(3));
    paths.reset();
    Reopen(false);
    EXPECT_EQ(TPathCollection::Open(Root())->GetLastNode(Session(1)), "a");
}

TEST_F(PathCollectionTest, UnreadableEntryIsNotedAndSkipped) {
    auto paths = TPathCollection::Create(Root());
    paths->SetPath(Session(1), "a");
    paths->SetPath(Session(3), "a");
    NeedIndexAt(*Root(), 2, "path index")->InsertAtom(GuidKey(Session(2)), nullptr);
    EXPECT_EQ(paths->GetPathStatistics(), (TPathStatistics{{"a", 2}}));
    EXPECT_TRUE(ErrorFlag());
    ResetErrorNotes();
    // A key with no value reads as an error, never as a crash.
    EXPECT_THROW(paths->GetPath(Session(2)), std::exception);
}

TEST_F(PathCollectionTest, LinkThatHoldsNoIndexIsRefused) {
    TPathCollection::Create(Root());
    Root()->SetLink(2, db.tr->CreateAtom());
    EXPECT_EQ(StoreCodeOf([&] { TPathCollection::Open(Root()); }), ecNotIndex);
    EXPECT_THROW(TPathCollection::Open(nullptr), std::exception);
}

}  // namespace
}  // namespace tlvx
