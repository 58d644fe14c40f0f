#include "store/storage_params.h"

#include <gtest/gtest.h>

#include "store/errors.h"
#include "store/param_parser.h"

namespace tlvx {
namespace {

std::vector<std::pair<std::string, std::string>> Entries(std::string_view text) {
    TParamList list;
    list.Parse(text);
    std::vector<std::pair<std::string, std::string>> out;
    for (int32_t i = 0; i < list.Count(); ++i) out.emplace_back(list.Items(i).Name, list.Items(i).Value);
    return out;
}

using E = std::vector<std::pair<std::string, std::string>>;

TEST(ParamList, Grammar) {
    EXPECT_EQ(Entries("a=b=c"), (E{{"a", "b=c"}}));
    EXPECT_EQ(Entries("a:b=c; d = e "), (E{{"a", "b=c"}, {"d", "e"}}));
    EXPECT_EQ(Entries("=x;y=1"), (E{{"y", "1"}}));
    EXPECT_EQ(Entries(":x"), E{});
    EXPECT_EQ(Entries(" ;; , \t\r\n"), E{});
    EXPECT_EQ(Entries(""), E{});
    EXPECT_EQ(Entries("flag;x=1"), (E{{"flag", ""}, {"x", "1"}}));
    EXPECT_EQ(Entries("Mode : ReadOnly"), (E{{"Mode", "ReadOnly"}}));
    EXPECT_EQ(Entries("a=1,a=2\nb=\x01z\x02"), (E{{"a", "1"}, {"a", "2"}, {"b", "z"}}));
    // Bytes above 0x7F are text, not blanks.
    EXPECT_EQ(Entries("n=\xE0\xFF"), (E{{"n", "\xE0\xFF"}}));
}

TEST(ParamList, Lookups) {
    TParamList list;
    list.Parse("Size=12; size=13; On=yes; G={01020304-0506-0708-090A-0B0C0D0E0F10}");
    EXPECT_EQ(list.IntByName("SIZE"), 12);
    EXPECT_TRUE(list.HasParam("on"));
    EXPECT_TRUE(list.ParamByName("on").AsBoolean());
    EXPECT_EQ(list.FindParam("none"), nullptr);
    EXPECT_EQ(list.ParamByName("g").AsGUID().D1, 0x01020304u);
    try {
        list.ParamByName("none");
        FAIL();
    } catch (const EParamParserError& e) {
        EXPECT_STREQ(e.what(), "\"none\" - unknown parameter");
    }
    list.AddParam("", "x");
    EXPECT_EQ(list.Count(), 4);
    list.Parse("");
    EXPECT_EQ(list.Count(), 0);
}

TEST(ParamList, Booleans) {
    for (const char* t : {"True", "YES", "on", "1"}) EXPECT_TRUE(StrToBoolean(t)) << t;
    for (const char* t : {"false", "No", "OFF", "0"}) EXPECT_FALSE(StrToBoolean(t)) << t;
    try {
        StrToBoolean("2");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "\"2\" is not a valid boolean value");
    }
}

const char* kClass = "{3554DAA3-16DB-11D5-A98C-000021D7A140}";

TEST(StorageParams, ReadsEntries) {
    TStorageOpenParams d = ParseStorageParams("");
    EXPECT_EQ(d.Mode, omOpenOrCreate);
    EXPECT_TRUE(d.Classes.empty());
    EXPECT_FALSE(d.WriteThrough);
    EXPECT_EQ(d.Cache, 0);
    EXPECT_EQ(d.AtomSizeAlign, 1);

    auto p = ParseStorageParams(std::string("mode=readonly; class=") + kClass);
    EXPECT_EQ(p.Mode, omReadOnly);
    ASSERT_EQ(p.Classes.size(), 1u);
    EXPECT_EQ(p.Classes[0], *StrToGuid(kClass));
    EXPECT_EQ(ParseStorageParams("  MoDe =  OpenOrCreate ").Mode, omOpenOrCreate);
    EXPECT_EQ(ParseStorageParams("mode=cReAtE").Mode, omCreate);
    EXPECT_EQ(ParseStorageParams("mode=create;mode=open").Mode, omOpen);
    auto many = ParseStorageParams(std::string("class=") + kClass + ";class=" + kClass +
                                   ";cache=500;writethrough=yes;atomsizealign=255;CacheBytes=1048576");
    EXPECT_EQ(many.Classes.size(), 2u);
    EXPECT_EQ(many.Cache, 500);
    EXPECT_EQ(many.CacheBytes, 1048576);
    EXPECT_EQ(d.CacheBytes, 0);
    EXPECT_TRUE(many.WriteThrough);
    EXPECT_EQ(many.AtomSizeAlign, 255);
    EXPECT_EQ(ParseStorageParams(" ; ;").Mode, omOpenOrCreate);
}

TEST(StorageParams, EveryErrorIsCode19WithItsMessage) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"mode=write", "WRITE: Invalid MODE value"},
        {"mode=", ": Invalid MODE value"},
        {"class={nope}", "{nope}: Invalid CLASS value"},
        {"class=3554DAA3-16DB-11D5-A98C-000021D7A140", "3554DAA3-16DB-11D5-A98C-000021D7A140: Invalid CLASS value"},
        {"cache=lots", "lots: Invalid CACHE value"},
        {"cache=99999999999", "99999999999: Invalid CACHE value"},
        {"cachebytes=much", "much: Invalid CACHE value"},
        {"cachebytes=-1", "-1: Invalid CACHE value"},
        {"writethrough=maybe", "maybe: Invalid WRITETHROUGH value"},
        {"atomsizealign=0", "0: Invalid AtomSizeAlign value"},
        {"atomsizealign=256", "256: Invalid AtomSizeAlign value"},
        {"atomsizealign=-1", "-1: Invalid AtomSizeAlign value"},
        {"atomsizealign=x", "x: Invalid AtomSizeAlign value"},
        {"mode=open; Colour=red", "Colour: Unknown parameter"},
        {"flag", "flag: Unknown parameter"},
    };
    for (const auto& c : cases) {
        try {
            ParseStorageParams(c.text);
            ADD_FAILURE() << c.text;
        } catch (const EQmzError& e) {
            EXPECT_EQ(e.ErrorCode(), ecInvalidParameter) << c.text;
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
    }
}

TEST(StorageParams, StripFileScheme) {
    EXPECT_EQ(StripFileScheme("FILE:///var/db/x.orv"), "/var/db/x.orv");
    EXPECT_EQ(StripFileScheme("file://x.orv"), "x.orv");
    EXPECT_EQ(StripFileScheme("file:/x.orv"), "file:/x.orv");
    EXPECT_EQ(StripFileScheme("file://"), "");
    EXPECT_EQ(StripFileScheme("x.orv"), "x.orv");
}

}  // namespace
}  // namespace tlvx
