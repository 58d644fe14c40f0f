#include "store/capabilities.h"

#include <gtest/gtest.h>

namespace tlvx {
namespace {

template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(CapList, ParsesItemsKeepsCaseAndOrder) {
    TCapList list(" A = 1;;b=2;");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).Name, "A");
    EXPECT_EQ(list.ValueOf("a"), 1);
    EXPECT_EQ(list.ValueOf("B"), 2);
    EXPECT_EQ(list.ValueOf("C"), -1);
    TCapList mixed("x=1\r\ny = -7 ,x=3\n");
    EXPECT_EQ(mixed.Count(), 3);
    EXPECT_EQ(mixed.ValueOf("X"), 1);  // the first of duplicates
    EXPECT_EQ(mixed.ValueOf("y"), -7);
    EXPECT_EQ(TCapList("").Count(), 0);
    EXPECT_EQ(TCapList(" ;, \t;").Count(), 0);
}

TEST(CapList, Errors) {
    EXPECT_EQ(MessageOf<ECapListError>([] { TCapList("1a=3"); }), "\"1a\" is not a valid capability name");
    EXPECT_EQ(MessageOf<ECapListError>([] { TCapList(" = 3"); }), "\"\" is not a valid capability name");
    EXPECT_EQ(MessageOf<ECapListError>([] { TCapList("a=1;abc"); }),
              "'=' sign missing in capabilities string");
    EXPECT_EQ(MessageOf<ECapListError>([] { TCapList("a-b=1"); }), "\"a-b\" is not a valid capability name");
    // A bad value is a conversion error, not a capability error.
    EXPECT_EQ(MessageOf<EConvertError>([] { TCapList("a=x"); }), "'x' is not a valid integer value");
    EXPECT_EQ(MessageOf<EConvertError>([] { TCapList("a=2147483648"); }),
              "'2147483648' is not a valid integer value");
    EXPECT_EQ(TCapList("a=-2147483648").ValueOf("a"), INT32_MIN);
    EXPECT_EQ(MessageOf<EConvertError>([] { TCapList("a=1 2"); }), "'1 2' is not a valid integer value");
    EXPECT_EQ(MessageOf<EConvertError>([] { TCapList("a="); }), "'' is not a valid integer value");
    // Names are ASCII: a Windows-1251 letter is not one.
    EXPECT_EQ(MessageOf<ECapListError>([] { TCapList("_\xE0=1"); }), "\"_\xE0\" is not a valid capability name");
    TCapList ok("_x9=1");
    EXPECT_EQ(MessageOf<ECapListError>([&] { ok.ValueOf("9x"); }), "\"9x\" is not a valid capability name");
}

TEST(Capabilities, StorageListSupports) {
    auto caps = MakeRef<TCapabilities>(kStorageCapabilities);
    EXPECT_EQ(caps->List().Count(), 14);
    EXPECT_TRUE(caps->Supports(""));
    EXPECT_TRUE(caps->Supports("CACHE=1"));
    EXPECT_FALSE(caps->Supports("CACHE=2"));
    EXPECT_TRUE(caps->Supports("transactions=3; RELIABILITY=2"));
    EXPECT_FALSE(caps->Supports("TRANSACTIONS=3;MULTITHREADED=1"));
    EXPECT_FALSE(caps->Supports("FOO=0"));
    EXPECT_TRUE(caps->Supports("FOO=-1"));
    EXPECT_EQ(caps->GetValue("crc_protection"), 1);
    EXPECT_THROW(caps->Supports("CACHE"), ECapListError);
}

TEST(Capabilities, ToStringInTableOrder) {
    auto caps = MakeRef<TCapabilities>(kBTreeCapabilities);
    EXPECT_EQ(caps->ToString(", "),
              "CURSOR_CLONE=1, GOTO_LINE_NUMBER=1, EXTRA_MODIFICATOR=1, MODIFICATING_CURSOR=0, "
              "MULTI_CURSORING=1, NON_UNIQUE_KEYS=0, KEY_LENGTH=3, KEY_COUNT=6");
    EXPECT_EQ(MakeRef<TCapabilities>("")->ToString(";"), "");
    EXPECT_EQ(MakeRef<TCapabilities>(kStorageCapabilities)->ToString(";").substr(0, 42),
              "DISTRIBUTED_STORAGE=0;ENUMERATION=2;TRANSA");
}

}  // namespace
}  // namespace tlvx
