#include "counter/hit_rules.h"

#include <gtest/gtest.h>

namespace tlvx {
namespace {

TBaseConf WithSkip(std::initializer_list<const char*> networks) {
    TBaseConf conf;
    for (const char* text : networks) {
        TNetWork n;
        EXPECT_TRUE(ParseNetwork(text, n)) << text;
        conf.SkipNetworks.push_back(n);
    }
    return conf;
}

TEST(HitRules, SkipNetworksMatchOnlyWhenWrittenAsNetworkAddress) {
    const uint32_t ip = uint32_t(ParseIPv4("10.1.2.3"));
    EXPECT_FALSE(IsInSkipNetworks(ip, TBaseConf{}));
    EXPECT_TRUE(IsInSkipNetworks(ip, WithSkip({"0.0.0.0/0"})));
    EXPECT_TRUE(IsInSkipNetworks(0xFFFFFFFF, WithSkip({"0.0.0.0/0"})));
    EXPECT_TRUE(IsInSkipNetworks(ip, WithSkip({"10.1.2.3/32"})));
    EXPECT_FALSE(IsInSkipNetworks(ip + 1, WithSkip({"10.1.2.3/32"})));
    EXPECT_FALSE(IsInSkipNetworks(ip, WithSkip({"10.1.2.3/24"})));
    EXPECT_TRUE(IsInSkipNetworks(ip, WithSkip({"192.168.0.0/16", "10.1.2.0/24"})));
}

TEST(HitRules, LastConfiguredIntervalWinsAndNamesAreExact) {
    TBaseConf conf;
    conf.NodeIntervals = {{"news", 30}, {"News", 5}, {"news", 60}};
    EXPECT_EQ(60, GetConfiguredInterval("news", conf));
    EXPECT_EQ(5, GetConfiguredInterval("News", conf));
    EXPECT_EQ(-1, GetConfiguredInterval("NEWS", conf));
    EXPECT_EQ(-1, GetConfiguredInterval("", conf));
    EXPECT_EQ(720, OrDefaultInterval(-1, 720));
    EXPECT_EQ(0, OrDefaultInterval(0, 720));
    EXPECT_TRUE(OlderThan(0, 720, 1));
    EXPECT_FALSE(OlderThan(100, 720, 100.4));
    EXPECT_TRUE(OlderThan(100, 720, 100.6));
}

TEST(HitRules, FirstAcceptLanguage) {
    auto first = [](const std::string& header) {
        TMapEnvironment env({{"HTTP_ACCEPT_LANGUAGE", header}});
        return GetFirstAcceptLanguage(TWebRequest(env, nullptr));
    };
    EXPECT_EQ("ru", first("ru,en;q=0.5"));
    EXPECT_EQ("en-US;q=0.8", first("en-US;q=0.8"));
    EXPECT_EQ("", first(""));
    EXPECT_EQ(std::string(254, 'x'), first(std::string(300, 'x') + ",ru"));
}

}  // namespace
}  // namespace tlvx
