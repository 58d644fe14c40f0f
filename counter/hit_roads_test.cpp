#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "counter/hit_roads.h"
#include "model/ipv4.h"
#include "model/testing/counter_database.h"
#include "platform/cgi_environment.h"
#include "platform/clock.h"

namespace tlvx {
namespace {

// Moves on a second at every reading: a stage that reads the clock for
// itself stores a later time than the hit's.
class TTickingClock : public IClock {
public:
    explicit TTickingClock(double start) : next_(start) {}
    double Now() override {
        const double now = next_;
        next_ += 1.0 / 86400;
        return now;
    }
    int32_t BiasMinutes() override { return 0; }
    uint32_t TickCount() override { return 0; }

private:
    double next_;
};

class HitRoadsTest : public test::CounterDatabaseTest {
protected:
    void TearDown() override {
        SetClock(&env.clock);
        test::CounterDatabaseTest::TearDown();
    }

    // One hit at the clock's next reading; the cookies it set.
    std::vector<TWebCookie> Hit(ICounter2& counter, const std::string& query, const std::string& address,
                                double when) {
        TMapEnvironment cgi;
        cgi.Set("GATEWAY_INTERFACE", "CGI/1.1");
        cgi.Set("QUERY_STRING", query);
        cgi.Set("REMOTE_ADDR", address);
        cgi.Set("HTTP_REFERER", "http://outside.example/page");
        cgi.Set("HTTP_ACCEPT_LANGUAGE", "ru,en");
        const TWebRequest request(cgi, nullptr);
        std::ostringstream sink;
        TWebResponse response(sink);
        TTickingClock clock(when);
        SetClock(&clock);
        const TBaseConf conf;
        if (query.find("nocookies") != std::string::npos)
            HitWithoutCookies(request, response, counter, false, conf);
        else
            HitWithCookies(request, response, counter, false, conf);
        SetClock(&env.clock);
        return response.Cookies();
    }
};

// Every record a hit makes carries the one time the hit read, on both roads.
TEST_F(HitRoadsTest, EveryRecordOfAHitCarriesItsOneTime) {
    Ref<ICounter2> counter = Open();
    ASSERT_TRUE(counter);
    const double t1 = env.clock.now + 0.25, t2 = t1 + 0.125;

    // The roads write what the test must not hold open: each check takes its
    // collection afresh.
    const auto lastHit = [&](const char* address, const char* node) {
        return counter->GetNodes()->GetIPLastHit(uint32_t(ParseIPv4(address)), node);
    };
    const std::vector<TWebCookie> cookies = Hit(*counter, "node=news.a", "10.0.0.7", t1);
    ASSERT_EQ(cookies.size(), 5u);
    EXPECT_EQ(cookies[1].Expires, t1 + 365);  // the last-date cookie
    EXPECT_EQ(lastHit("10.0.0.7", "news.a"), t1);
    EXPECT_EQ(lastHit("10.0.0.7", ""), t1);
    EXPECT_EQ(counter->GetVisitors()->GetVisitorNodeTime("news.a", "{" + cookies[3].Value + "}"), t1);

    EXPECT_TRUE(Hit(*counter, "node=b&nocookies=1", "10.0.0.8", t2).empty());
    EXPECT_EQ(lastHit("10.0.0.8", "b"), t2);
    EXPECT_EQ(lastHit("10.0.0.8", ""), t2);
    EXPECT_EQ(counter->GetSettings().TotalHits, 2);
    EXPECT_FALSE(ErrorFlag());
}

}  // namespace
}  // namespace tlvx
