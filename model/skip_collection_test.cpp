#include "model/skip_collection.h"

#include <gtest/gtest.h>

#include "model/ipv4.h"
#include "model/testing/collection_db.h"
#include "store/btree_factory.h"

namespace tlvx {
namespace {

using test::StoreCodeOf;
using test::TCollectionTestDb;

constexpr int32_t kSkipLink = 12;

int32_t Ip(const char* text) { return int32_t(ParseIPv4(text)); }

uint16_t SkipCodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const TSkipCollectionError& e) {
        return e.Code();
    }
    return 0xFFFF;
}

class SkipCollectionTest : public ::testing::Test {
protected:
    SkipCollectionTest() { TSkipCollection::Create(Root()); }
    // One atom object for the list's root: a second writable one would be a
    // share violation.
    const Ref<IVirtualAtom>& Root() {
        if (!root) root = db.Child(kSkipLink);
        return root;
    }
    Ref<ISkipCollection> Open() { return TSkipCollection::Open(Root()); }
    void Reopen(bool readOnly) {
        root.reset();
        db.Reopen(readOnly);
    }

    TCollectionTestDb db;
    Ref<IVirtualAtom> root;
};

TEST_F(SkipCollectionTest, NetworksMatchInsideTheirMaskOnly) {
    auto list = Open();
    list->AddNetworkBits(Ip("0.0.0.0"), 0, "everyone");
    for (const char* a : {"0.0.0.0", "255.255.255.255", "10.1.2.3", "128.0.0.0"}) {
        std::string d;
        EXPECT_TRUE(list->IsSkippedEx(Ip(a), d)) << a;
        EXPECT_EQ(d, "everyone");
    }
    list->ClearNetworks();

    // Bits 0 with any other network matches nothing; host bits outside the
    // mask make an entry that never matches, not even its own address.
    list->AddNetworkBits(Ip("5.0.0.0"), 0, "none");
    list->AddNetworkBits(Ip("10.1.2.3"), 24, "host bits");
    list->AddNetworkBits(Ip("10.1.4.0"), 24, "lan");
    list->AddNetworkBits(Ip("192.168.0.7"), 32, "one host");
    list->AddNetworkBits(Ip("172.16.0.0"), 40, "too many bits");  // counts as 32
    struct Case {
        const char* address;
        bool skipped;
        const char* description;
    };
    for (const Case& c : {Case{"10.1.2.3", false, ""}, Case{"10.1.2.0", false, ""},
                          Case{"10.1.4.0", true, "lan"}, Case{"10.1.4.255", true, "lan"},
                          Case{"10.1.3.255", false, ""}, Case{"10.1.5.0", false, ""},
                          Case{"192.168.0.7", true, "one host"}, Case{"192.168.0.6", false, ""},
                          Case{"172.16.0.0", true, "too many bits"}, Case{"172.16.0.1", false, ""},
                          Case{"5.0.0.0", false, ""}, Case{"0.0.0.0", false, ""}}) {
        std::string d = "stale";
        EXPECT_EQ(list->IsSkippedEx(Ip(c.address), d), c.skipped) << c.address;
        EXPECT_EQ(d, c.description) << c.address;
        EXPECT_EQ(list->IsSkipped(Ip(c.address)), c.skipped) << c.address;
    }
    EXPECT_EQ(list->ListNetworks().size(), 5u);
    EXPECT_TRUE((list->ListNetworks()[0] == TSkipNetwork{Ip("5.0.0.0"), 0}));  // mask 0 sorts first

    // The key AddNetwork builds is the key DeleteNetwork removes.
    list->AddNetwork(Ip("10.9.0.0"), int32_t(0xFFFF0000), "b");
    EXPECT_TRUE(list->IsSkipped(Ip("10.9.200.1")));
    list->DeleteNetwork(Ip("10.9.0.0"), int32_t(0xFFFF0000));
    EXPECT_FALSE(list->IsSkipped(Ip("10.9.200.1")));
    list->DeleteNetwork(Ip("10.1.4.0"), int32_t(NetworkMask(24)));
    EXPECT_FALSE(list->IsSkipped(Ip("10.1.4.1")));

    // A listed address wins before the networks are walked.
    list->AddAddress(Ip("10.1.2.3"), "single");
    std::string d;
    EXPECT_TRUE(list->IsSkippedEx(Ip("10.1.2.3"), d));
    EXPECT_EQ(d, "single");

    list.reset();
    Reopen(true);
    list = Open();
    EXPECT_TRUE(list->IsSkipped(Ip("192.168.0.7")));
    EXPECT_TRUE(list->IsSkipped(Ip("10.1.2.3")));
    EXPECT_FALSE(list->IsSkipped(Ip("10.1.4.1")));
}

TEST_F(SkipCollectionTest, RangesInEitherOrderWithLittleEndianKeys) {
    auto list = Open();
    list->AddRange(12, 10, "down");
    list->AddRange(254, 257, "up");
    list->AddRange(7, 7, "one");
    // Little-endian keys: 256 (00 01 00 00) sorts before 7 (07 00 00 00).
    EXPECT_EQ(list->ListAddresses(), (std::vector<int32_t>{256, 257, 7, 10, 11, 12, 254, 255}));
    std::string d;
    EXPECT_TRUE(list->IsSkippedEx(11, d));
    EXPECT_EQ(d, "down");
    EXPECT_FALSE(list->IsSkippedEx(13, d));
    EXPECT_EQ(d, "");

    // The top of the address space ends the loop.
    list->AddRange(0xFFFFFFFF, 0xFFFFFFFE, "top");
    EXPECT_TRUE(list->IsSkipped(-1));
    EXPECT_TRUE(list->IsSkipped(-2));

    list->DeleteRange(255, 11);
    EXPECT_EQ(list->ListAddresses(), (std::vector<int32_t>{256, 257, 7, 10, -2, -1}));
    list->DeleteAddress(7);
    list->DeleteRange(0xFFFFFFFE, 0xFFFFFFFF);
    EXPECT_EQ(list->ListAddresses(), (std::vector<int32_t>{256, 257, 10}));
    // A key added again replaces the entry.
    list->AddAddress(10, "again");
    EXPECT_TRUE(list->IsSkippedEx(10, d));
    EXPECT_EQ(d, "again");

    list.reset();
    Reopen(false);
    EXPECT_EQ(Open()->ListAddresses(), (std::vector<int32_t>{256, 257, 10}));
}

TEST_F(SkipCollectionTest, ChangesStampTheRootButClearAllDoesNot) {
    const std::string prefix = "SkipCollection. Last modified at ";
    EXPECT_EQ(root->GetAsString(), prefix + "08.12.2026 13:45:30 by Create");

    auto list = Open();
    db.env.clock.now = EncodeDateTime(2027, 1, 2, 3, 4, 5);
    list->AddAddress(1, "x");
    EXPECT_EQ(root->GetAsString(), prefix + "02.01.2027 3:04:05");

    db.env.clock.now = EncodeDateTime(2027, 2, 3, 4, 5, 6);
    list->ClearAll();
    EXPECT_EQ(root->GetAsString(), prefix + "02.01.2027 3:04:05");
    EXPECT_TRUE(list->ListAddresses().empty());

    list->ClearAddresses();
    EXPECT_EQ(root->GetAsString(), prefix + "03.02.2027 4:05:06");
}

TEST_F(SkipCollectionTest, ConstructorFailuresNoteAndRaiseTheirCodes) {
    EXPECT_EQ(SkipCodeOf([] { TSkipCollection::Create(nullptr); }), 1);
    EXPECT_EQ(SkipCodeOf([] { TSkipCollection::Open(nullptr); }), 1);
    EXPECT_FALSE(ErrorFlag());

    // Link 2 lost: the open fails and notes it.
    Root()->SetLink(2, nullptr);
    EXPECT_EQ(SkipCodeOf([&] { Open(); }), 3);
    EXPECT_TRUE(ErrorFlag());

    // Link 1 is an atom that holds no index.
    ResetErrorNotes();
    root->SetLink(2, db.tr->CreateAtom());
    root->SetLink(1, db.tr->CreateAtom());
    EXPECT_EQ(SkipCodeOf([&] { Open(); }), 3);
    EXPECT_TRUE(ErrorFlag());

    // Create over that root rebuilds it.
    ResetErrorNotes();
    TSkipCollection::Create(root)->AddAddress(3, "");
    EXPECT_TRUE(Open()->IsSkipped(3));
    EXPECT_FALSE(ErrorFlag());

    // Create through a read-only storage changes nothing.
    Reopen(true);
    EXPECT_EQ(SkipCodeOf([&] { TSkipCollection::Create(Root()); }), 2);
    EXPECT_TRUE(ErrorFlag());
    EXPECT_TRUE(Open()->IsSkipped(3));
}

TEST_F(SkipCollectionTest, DamagedNetworkKeyRaisesCodeZero) {
    IndexFactory()->OpenIndex(Root()->OpenLink(2), "", "")->Insert("12345");
    auto list = Open();
    list->AddAddress(7, "");
    EXPECT_TRUE(list->IsSkipped(7));  // found before the networks are walked
    EXPECT_EQ(SkipCodeOf([&] { list->IsSkipped(8); }), 0);
    EXPECT_EQ(SkipCodeOf([&] { list->ListNetworks(); }), 0);
}

TEST_F(SkipCollectionTest, ReadOnlyListAnswersAndRefusesChanges) {
    Open()->AddAddress(Ip("1.2.3.4"), "a");
    db.Child(kSkipLink + 1);
    Reopen(true);
    auto list = Open();
    EXPECT_TRUE(list->IsSkipped(Ip("1.2.3.4")));
    EXPECT_EQ(StoreCodeOf([&] { list->AddAddress(5, ""); }), ecAccessDenied);
    EXPECT_EQ(StoreCodeOf([&] { list->ClearAll(); }), ecAccessDenied);
    EXPECT_EQ(StoreCodeOf([&] { list->AddRange(1, 3, ""); }), ecAccessDenied);
    EXPECT_EQ(list->ListAddresses(), (std::vector<int32_t>{Ip("1.2.3.4")}));

    // A root without the list's links is no list, and gains none.
    Ref<IVirtualAtom> bare = db.root->OpenLink(kSkipLink + 1);
    ASSERT_TRUE(bare);
    EXPECT_EQ(SkipCodeOf([&] { TSkipCollection::Open(bare); }), 3);
    EXPECT_EQ(bare->GetLinkCount(), 0);
}

TEST_F(SkipCollectionTest, NoIndexOutlivesACallSoTwoViewsAndCommitWork) {
    auto a = Open();
    auto b = Open();
    a->AddAddress(9, "nine");
    EXPECT_TRUE(b->IsSkipped(9));
    b->AddNetworkBits(Ip("10.0.0.0"), 8, "ten");
    EXPECT_TRUE(a->IsSkipped(Ip("10.200.0.1")));
    a.reset();
    b.reset();
    Reopen(false);
    EXPECT_TRUE(Open()->IsSkipped(Ip("10.200.0.1")));
}

}  // namespace
}  // namespace tlvx
