// One hostile request through the whole counter program over a database
// with history: NUL-separated QUERY_STRING, HTTP_COOKIE, REQUEST_METHOD,
// CONTENT_TYPE, CONTENT_LENGTH, REMOTE_ADDR, HTTP_REFERER, HTTP_USER_AGENT,
// HTTP_ACCEPT_LANGUAGE, HTTP_X_FORWARDED_FOR, then the body. The program
// must answer, and the next usual hit must still be counted and answered.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "counter/tlvx_log.h"
#include "fuzz/counter_road.h"
#include "fuzz/fuzz_guard.h"
#include "model/counter2.h"

using namespace tlvx;

namespace {

const char* const kVariables[] = {"QUERY_STRING", "HTTP_COOKIE", "REQUEST_METHOD",
                                  "CONTENT_TYPE", "CONTENT_LENGTH", "REMOTE_ADDR",
                                  "HTTP_REFERER", "HTTP_USER_AGENT", "HTTP_ACCEPT_LANGUAGE",
                                  "HTTP_X_FORWARDED_FOR"};
constexpr size_t kParts = std::size(kVariables) + 1;

int32_t TotalHits() {
    Ref<ICounter2> counter;
    OpenCounter2(TCounterRoad::kDatabase, counter, TSkinStreams{}, true, "");
    FuzzCheck(bool(counter), "the database no longer opens");
    return counter->GetSettings().TotalHits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TCounterRoad* road = new TCounterRoad;
    road->Restore();
    const std::vector<std::string> parts =
        SplitFuzzInput(std::string_view(reinterpret_cast<const char*>(data), size), kParts);

    TMapEnvironment env;
    env.Set("GATEWAY_INTERFACE", "CGI/1.1");
    for (size_t i = 0; i < std::size(kVariables); ++i)
        if (!parts[i].empty()) env.Set(kVariables[i], parts[i]);
    TRoadRun run = road->Run(env, parts.back());
    if (run.status != 0) std::fprintf(stderr, "%s", run.err.c_str());
    FuzzCheck(run.status == 0, "an error escaped the request road");
    FuzzCheck(!run.out.empty(), "no answer went out");

    // Whatever the request did, the database opens, the log takes a hit and
    // the next hit is counted.
    RunGuarded([] { TTlvxLog log(TCounterRoad::kHitLog); });
    const int32_t before = TotalHits();
    TRoadRun next = road->UsualHit(road->HistoryCookies());
    FuzzCheck(next.status == 0 && next.out.find("image/gif") != std::string::npos,
              "the next usual hit is not answered with the counter image");
    FuzzCheck(TotalHits() == before + 1, "the next usual hit is not counted");
    return 0;
}
