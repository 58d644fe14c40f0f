#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "model/conf_lines.h"
#include "model/conf_parser.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

// A configuration as a site administrator would write it, with every key,
// comments, blank lines, mixed line ends and global lines after the blocks.
const char kRealConf[] =
    "# tlvx2 configuration\r\n"
    "\r\n"
    "HostInterval=30   # minutes between visits\r\n"
    "SkipAddress=127.0.0.1\r\n"
    "skipnetwork=10.0.0.0/8\n"
    "JavaDirectory=/srv/www/java\n"
    "JavaURL=http://stats.example.com/java\n"
    "ImagesDirectory=/srv/www/img\n"
    "ImagesURL=http://stats.example.com/img\n"
    "GeoDataBaseName=/srv/tlvx/geo.orv\n"
    "DataBaseName=/ignored/in/global.orv\n"
    "SiteName=ignored in global lines\n"
    "\n"
    "<Base:main>\n"
    "  DataBaseName=/srv/tlvx/main.orv\n"
    "  GeoDataBaseName=/srv/tlvx/main-geo.orv\n"
    "  NodeInterval= news , 60\n"
    "  NodeInterval=shop,0\n"
    "  CanAddNode=0\n"
    "  CanCreateDataBase=0\n"
    "  MainNodeName=index\n"
    "  SiteURL=http://www.example.com, Example site\n"
    "  SiteAdminMail=admin@example.com,Administrator\n"
    "  WebMasterMail=web@example.com , Webmaster\n"
    "  SiteName=Example: the site\n"
    "  VIPAddress=192.168.1.10, office\n"
    "  VIPAddress=192.168.1.11\n"
    "  VIPNetwork=172.16.0.0/12,Partner Net\n"
    "  OwnURL=http://www.example.com\n"
    "  OwnURL= example.com\n"
    "  ShowServerTime=1\n"
    "  StatToStat=http://stats.example.com/\n"
    "  BinaryLog=/var/log/tlvx/stattostat.bin\n"
    "  SkipAddress=192.168.1.99\n"
    "</Base>\n"
    "\r"
    "<Base:second>\n"
    "HostInterval=5\n"
    "DataBaseName= /srv/tlvx/second.orv\n"
    "</Base>\n"
    "SkipAddress=10.20.30.40   # after all blocks, still global\n"
    "CanAddNode=1\n";

TBaseConf Block(const TConfParser& p, const char* name) {
    TBaseConf c;
    EXPECT_TRUE(p.GetBase(name, c)) << name;
    return c;
}

TEST(ConfParserTest, GlobalRecordOfARealFile) {
    TConfParser p = TConfParser::FromText(kRealConf);
    EXPECT_TRUE(p.Warnings().empty());
    EXPECT_EQ(p.BlockCount(), 2u);
    const TBaseConf& g = p.Global();
    EXPECT_EQ(g.HostInterval, 30);
    EXPECT_EQ(g.SkipNetworks, (TNetWorks{{0x7F000001, 32}, {0x0A000000, 8}, {0x0A141E28, 32}}));
    EXPECT_EQ(g.JavaDirectory, "/srv/www/java");
    EXPECT_EQ(g.JavaURL, "http://stats.example.com/java");
    EXPECT_EQ(g.ImagesDirectory, "/srv/www/img");
    EXPECT_EQ(g.ImagesURL, "http://stats.example.com/img");
    EXPECT_EQ(g.GeoDataBaseName, "/srv/tlvx/geo.orv");
    EXPECT_TRUE(g.CanAddNode);
    EXPECT_TRUE(g.CanCreateDataBase);
    // Block-only keys mean nothing in global lines.
    EXPECT_EQ(g.DataBaseName, "");
    EXPECT_EQ(g.SiteName, "");
    EXPECT_EQ(g.BaseName, "");

    TBaseConf viaName;
    EXPECT_TRUE(p.GetBase("", viaName));
    EXPECT_EQ(viaName, g);
}

TEST(ConfParserTest, BlockInheritsGlobalsAndAppliesEveryKey) {
    TConfParser p = TConfParser::FromText(kRealConf);
    TBaseConf m = Block(p, "main");
    EXPECT_EQ(m.BaseName, "main");
    EXPECT_EQ(m.HostInterval, 30);
    EXPECT_EQ(m.JavaURL, "http://stats.example.com/java");
    // Global skips (even the one after the blocks) come first, the block's
    // own entry after them.
    EXPECT_EQ(m.SkipNetworks, (TNetWorks{{0x7F000001, 32}, {0x0A000000, 8}, {0x0A141E28, 32},
                                         {0xC0A80163, 32}}));
    EXPECT_EQ(m.DataBaseName, "/srv/tlvx/main.orv");
    EXPECT_EQ(m.GeoDataBaseName, "/srv/tlvx/main-geo.orv");
    EXPECT_EQ(m.NodeIntervals, (TNodeIntervals{{"news", 60}, {"shop", 0}}));
    EXPECT_FALSE(m.CanAddNode);
    EXPECT_FALSE(m.CanCreateDataBase);
    EXPECT_EQ(m.MainNodeName, "index");
    EXPECT_EQ(m.SiteURL, (TStringPair{"http://www.example.com", "Example site"}));
    EXPECT_EQ(m.SiteAdminMail, (TStringPair{"admin@example.com", "Administrator"}));
    EXPECT_EQ(m.WebMasterMail, (TStringPair{"web@example.com", "Webmaster"}));
    EXPECT_EQ(m.SiteName, "Example: the site");
    EXPECT_EQ(m.VIPNetworks, (TDescribedNetWorks{{0xC0A8010A, 32, "OFFICE"},
                                                 {0xC0A8010B, 32, ""},
                                                 {0xAC100000, 12, "PARTNER NET"}}));
    EXPECT_EQ(m.OwnURLs, (StringArray{"HTTP://WWW.EXAMPLE.COM", "EXAMPLE.COM"}));
    EXPECT_TRUE(m.ShowServerTime);
    EXPECT_EQ(m.StatToStat, "http://stats.example.com/");
    EXPECT_EQ(m.BinaryLog, "/var/log/tlvx/stattostat.bin");

    TBaseConf s = Block(p, "second");
    EXPECT_EQ(s.HostInterval, 5);
    EXPECT_EQ(s.DataBaseName, " /srv/tlvx/second.orv");  // blanks after "=" stay
    EXPECT_TRUE(s.CanAddNode);
    EXPECT_TRUE(s.VIPNetworks.empty());
    // Blocks do not leak into each other or into the global record.
    EXPECT_TRUE(p.Global().VIPNetworks.empty());
    EXPECT_EQ(p.Global().HostInterval, 30);
}

TEST(ConfParserTest, GetBaseMatchesExactlyAndTakesTheFirstBlock) {
    TConfParser p = TConfParser::FromText(
        "<Base:Site>\nHostInterval=1\n</Base>\n"
        "<Base:Site>\nHostInterval=2\n</Base>\n"
        "<Base: spaced >\nHostInterval=3\n</>\n");
    EXPECT_EQ(Block(p, "Site").HostInterval, 1);
    EXPECT_EQ(Block(p, " spaced ").HostInterval, 3);
    TBaseConf untouched;
    untouched.SiteName = "keep";
    EXPECT_FALSE(p.GetBase("site", untouched));
    EXPECT_FALSE(p.GetBase("spaced", untouched));
    EXPECT_FALSE(p.GetBase("Nope", untouched));
    EXPECT_EQ(untouched.SiteName, "keep");
}

TEST(ConfParserTest, KeyOrderAndMatchingRules) {
    TConfParser p = TConfParser::FromText(
        "<base:k>\n"
        "GeoDataBaseName=geo.orv\n"           // not DataBaseName: Geo is tried first
        "dataBASEname=db.orv\n"               // keys ignore case
        "SkipAddress =1.1.1.1\n"              // a blank before "=" is no key
        "HostInterval=\n"                     // empty value: next key tried, none
        "MySkipAddress=2.2.2.2\n"             // the key may stand anywhere
        "CanAddNode=2\n"                      // neither 0 nor 1: unchanged
        "ShowServerTime=yes\n"                // no integer: unchanged
        "SiteName=a#b\n"                      // comment cuts the value
        "JavaURL=http://x/?SkipAddress=3.3.3.3\n"  // the first key in order wins
        "</base>\n");
    TBaseConf k = Block(p, "k");
    EXPECT_EQ(k.GeoDataBaseName, "geo.orv");
    EXPECT_EQ(k.DataBaseName, "db.orv");
    EXPECT_EQ(k.SkipNetworks, (TNetWorks{{0x02020202, 32}, {0x03030303, 32}}));
    EXPECT_EQ(k.JavaURL, "");
    EXPECT_EQ(k.HostInterval, 720);
    EXPECT_TRUE(k.CanAddNode);
    EXPECT_FALSE(k.ShowServerTime);
    EXPECT_EQ(k.SiteName, "a");
}

TEST(ConfParserTest, MalformedValuesChangeNothing) {
    TConfParser p = TConfParser::FromText(
        "HostInterval=-5\n"
        "HostInterval=99999999999\n"
        "HostInterval=12 minutes\n"
        "SkipAddress=::1\n"
        "SkipAddress=1.2.3\n"
        "SkipNetwork=10.0.0.0/33\n"
        "SkipNetwork=10.0.0.0\n"
        "SkipNetwork=/8\n"
        "<Base:b>\n"
        "NodeInterval=news\n"
        "NodeInterval=,5\n"
        "NodeInterval=news,-1\n"
        "NodeInterval=news,x\n"
        "SiteURL=http://only-address\n"
        "SiteURL=, caption\n"
        "SiteAdminMail=a@b.c,   \n"
        "VIPAddress=garbage, desc\n"
        "VIPNetwork=10.0.0.0/8\n"            // no comma and description: nothing
        "VIPNetwork=10.0.0.0/40,x\n"
        "VIPNetwork=10.0.0.0,x\n"
        "BinaryLog= \t\n"
        "</Base>\n");
    EXPECT_EQ(p.Global().HostInterval, 720);
    EXPECT_TRUE(p.Global().SkipNetworks.empty());
    TBaseConf b = Block(p, "b");
    EXPECT_TRUE(b.NodeIntervals.empty());
    EXPECT_EQ(b.SiteURL, TStringPair{});
    EXPECT_EQ(b.SiteAdminMail, TStringPair{});
    EXPECT_TRUE(b.VIPNetworks.empty());
    EXPECT_EQ(b.BinaryLog, "");
}

TEST(ConfParserTest, SecondPartOfAPairIsEverythingAfterTheFirstComma) {
    TConfParser p = TConfParser::FromText("<Base:b>\nSiteURL=http://x.y, Shop, Inc.\n</Base>\n");
    EXPECT_EQ(Block(p, "b").SiteURL, (TStringPair{"http://x.y", "Shop, Inc."}));
}

TEST(ConfParserTest, StatToStatWordRule) {
    TConfParser p = TConfParser::FromText(
        "<Base:a>\nStatToStat=  on  \n</Base>\n"
        "<Base:b>\nStatToStat=on\nremark about stattostat\n</Base>\n"
        "<Base:c>\nStatToStat=on\nBinaryLog=/logs/StatToStat.log\n</Base>\n"
        "<Base:d>\nBinaryLog=/logs/a.log\nBinaryLog=\n</Base>\n");
    EXPECT_EQ(Block(p, "a").StatToStat, "on");
    EXPECT_EQ(Block(p, "b").StatToStat, "");  // the word alone clears it
    TBaseConf c = Block(p, "c");
    EXPECT_EQ(c.StatToStat, "on");  // a log path naming the word leaves it
    EXPECT_EQ(c.BinaryLog, "/logs/StatToStat.log");
    EXPECT_EQ(Block(p, "d").BinaryLog, "/logs/a.log");
}

TEST(ConfParserTest, VIPAddressTakesTheTextBeforeTheComma) {
    TConfParser p = TConfParser::FromText(
        "<Base:v>\n"
        "VIPAddress=1.2.3.4,Office\n"
        "VIPAddress=1.2.3.5, office  \n"
        "VIPAddress= 1.2.3.6 ,Лаборатория\n"
        "VIPAddress=1.2.3.7,a,b\n"
        "VIPNetwork=10.0.0.0/8, back office ,2\n"
        "</Base>\n");
    EXPECT_EQ(Block(p, "v").VIPNetworks,
              (TDescribedNetWorks{{0x01020304, 32, "OFFICE"},
                                  {0x01020305, 32, "OFFICE"},
                                  {0x01020306, 32, "Лаборатория"},
                                  {0x01020307, 32, "A,B"},
                                  {0x0A000000, 8, "BACK OFFICE ,2"}}));
}

TEST(ConfParserTest, BlockStructure) {
    // A stray closing line opens a block that runs to the next closing line.
    TConfParser p = TConfParser::FromText(
        "</stray>\nHostInterval=1\n</end>\nHostInterval=2\n<Base:x>\n</x>\n");
    EXPECT_EQ(p.BlockCount(), 2u);
    EXPECT_EQ(p.Global().HostInterval, 2);
    // The opening line closes nothing even when it begins with "</"; a
    // block without a name answers no name.
    TConfParser q = TConfParser::FromText("<Other>\nHostInterval=9\n</Other>\n");
    TBaseConf c;
    EXPECT_FALSE(q.GetBase("Other", c));
    EXPECT_EQ(q.Global().HostInterval, 720);
    // The last name a block gives itself is its name.
    TConfParser r = TConfParser::FromText("<Base:a>\nX=<Base:b>\n</Base>\n");
    EXPECT_FALSE(r.GetBase("a", c));
    EXPECT_EQ(Block(r, "b").BaseName, "b");
    // A comment line inside a block is dropped and closes nothing.
    TConfParser s = TConfParser::FromText("<Base:a>\n# </Base>\nHostInterval=4\n</Base>\n");
    EXPECT_EQ(Block(s, "a").HostInterval, 4);
}

TEST(ConfParserTest, UnterminatedBlockFails) {
    EXPECT_THROW(TConfParser::FromText("HostInterval=1\n<Base:x>\nHostInterval=2\n"), EConfError);
    EXPECT_THROW(TConfParser::FromText("<Base:x>"), EConfError);
    EXPECT_THROW(TConfParser::FromText("<a>\n</b>\n</c>\n"), EConfError);
}

TEST(ConfParserTest, EmptyTextGivesDefaults) {
    TConfParser p = TConfParser::FromText(" \n#only a comment\r\n\t\n");
    EXPECT_EQ(p.Global(), TBaseConf::Defaults());
    EXPECT_EQ(p.BlockCount(), 0u);
}

TEST(ConfParserTest, OverlongValuesAreIgnored) {
    std::string big(kMaxConfValue + 1, 'x');
    TConfParser p = TConfParser::FromText("JavaURL=" + big + "\n<Base:" + big + ">\n</Base>\n" +
                                          "<Base:ok>\nSiteName=" + big + "\n</Base>\n");
    EXPECT_EQ(p.Global().JavaURL, "");
    EXPECT_EQ(Block(p, "ok").SiteName, "");
    TBaseConf c;
    EXPECT_FALSE(p.GetBase(big, c));
}

TEST(ConfParserTest, ManyBlocksDoNotCopyLongGlobalLists) {
    // Records are built on request, so thousands of blocks over a long
    // global skip list stay cheap.
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "SkipAddress=10.0." + std::to_string(i / 256) + "." +
                                           std::to_string(i % 256) + "\n";
    for (int i = 0; i < 5000; ++i) text += "<Base:b" + std::to_string(i) + ">\n</>\n";
    TConfParser p = TConfParser::FromText(text);
    EXPECT_EQ(p.BlockCount(), 5000u);
    EXPECT_EQ(Block(p, "b4999").SkipNetworks.size(), 2000u);
}

class ConfFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tlvx-conf-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& content) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(ConfFileTest, ReadsTheFile) {
    TConfParser p(Write("tlvx2.conf", kRealConf));
    EXPECT_TRUE(p.Warnings().empty());
    EXPECT_EQ(Block(p, "main").BinaryLog, "/var/log/tlvx/stattostat.bin");
    EXPECT_EQ(p.Global(), TConfParser::FromText(kRealConf).Global());
}

TEST_F(ConfFileTest, MissingFileGivesAZeroRecordAndAWarning) {
    std::string path = (dir_ / "tlvx2.conf").string();
    TConfParser p(path);
    ASSERT_EQ(p.Warnings().size(), 1u);
    EXPECT_EQ(p.Warnings()[0].Code, 0);
    EXPECT_EQ(p.Warnings()[0].Text, "Configuration file not found: " + path);
    EXPECT_EQ(p.Warnings()[0].Detail, "");
    TBaseConf c;
    c.HostInterval = 5;
    EXPECT_TRUE(p.GetBase("", c));
    EXPECT_EQ(c, TBaseConf{});
    EXPECT_EQ(c.HostInterval, 0);
    EXPECT_FALSE(c.CanAddNode);
    EXPECT_FALSE(p.GetBase("main", c));
}

TEST_F(ConfFileTest, OversizedFileIsRefused) {
    std::string path = Write("tlvx2.conf", std::string(kMaxConfFileSize + 1, '#'));
    EXPECT_THROW(TConfParser{path}, EConfError);
    std::string fits = Write("ok.conf", "HostInterval=3\n" + std::string(kMaxConfFileSize - 15, '#'));
    EXPECT_EQ(TConfParser(fits).Global().HostInterval, 3);
}

}  // namespace
}  // namespace tlvx

namespace tlvx {
namespace {

// Hand-edited files in any state of disrepair: the parser either gives a
// configuration or raises EConfError, and nothing it gives breaks the
// record's rules.
TEST(ConfParserTest, RandomTextNeverCrashes) {
    const std::string_view pieces[] = {"<Base:", ">", "</", "<", "#", "=", ",", "/", ".", " ", "\t", "\r",
                            "\n", "\n", "\n", "1", "32", "255", "-", "999999999999", "\xE0",
                            std::string_view("\0", 1), "SkipAddress=", "SkipNetwork=",
                            "HostInterval=", "VIPAddress=", "VIPNetwork=", "NodeInterval=",
                            "SiteURL=", "StatToStat", "BinaryLog=", "OwnURL=", "CanAddNode=",
                            "10.0.0.1", "x"};
    std::mt19937 rng(3);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int n = rng() % 60;
        for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)];
        try {
            TConfParser p = TConfParser::FromText(text);
            ++parsed;
            for (const TNetWork& net : p.Global().SkipNetworks) ASSERT_LE(net.Bits, 32);
            TBaseConf c;
            ASSERT_TRUE(p.GetBase("", c));
            ASSERT_GE(c.HostInterval, 0);
        } catch (const EConfError&) {
        }
    }
    EXPECT_GT(parsed, 100);
}

}  // namespace
}  // namespace tlvx

namespace tlvx {
namespace {

TEST(ConfParserTest, LoadConfBlockTellsMissingFileBlockAndUnusableFile) {
    TTestTempDir dir;
    const std::string file = dir.File("tlvx2.conf");
    TBaseConf conf;
    conf.SiteName = "untouched";
    EXPECT_EQ(TConfLookup::NoFile, LoadConfBlock(file, "7", conf));
    std::ofstream(file) << "<Base:7>\nSiteName=Seven\n</Base>\n";
    EXPECT_EQ(TConfLookup::NoBlock, LoadConfBlock(file, "8", conf));
    EXPECT_EQ("untouched", conf.SiteName);
    EXPECT_EQ(TConfLookup::Loaded, LoadConfBlock(file, "7", conf));
    EXPECT_EQ("Seven", conf.SiteName);
    std::ofstream(file) << "<Base:7>\nSiteName=Open\n";
    EXPECT_EQ(TConfLookup::Unusable, LoadConfBlock(file, "7", conf));
    EXPECT_EQ("Seven", conf.SiteName);
}

}  // namespace
}  // namespace tlvx
