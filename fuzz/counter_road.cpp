#include "fuzz/counter_road.h"

#include <sstream>
#include <vector>

#include "counter/main_module.h"
#include "platform/cgi_run.h"
#include "platform/clock.h"
#include "platform/guid.h"
#include "platform/testing/fixed_sources.h"

namespace tlvx {

namespace {

TSettableClock fixedClock{46364.625, -180, 16};  // 2026-12-08 15:00
TSequenceGuids guids;

const char kConf[] =
    "HostInterval=720\n"
    "SkipAddress=10.9.9.9\n"
    "<Base:main>\n"
    "DataBaseName=/fuzz/main.orv\n"
    "BinaryLog=/fuzz/hits.bin\n"
    "NodeInterval=news,30\n"
    "CanAddNode=1\n"
    "OwnURL=http://www.example.com\n"
    "</Base>\n";

}  // namespace

std::string CookiesOfReply(const std::string& reply) {
    std::string cookies;
    std::istringstream in(reply);
    for (std::string line; std::getline(in, line) && line != "\r" && !line.empty();) {
        const std::string head = "Set-Cookie: ";
        if (line.compare(0, head.size(), head) != 0) continue;
        std::string pair = line.substr(head.size());
        pair = pair.substr(0, pair.find(';'));
        cookies += (cookies.empty() ? "" : "; ") + pair;
    }
    return cookies;
}

TCounterRoad::TCounterRoad() {
    SetClock(&fixedClock);
    SetGuidSource(&guids);
    Files().SetContents("/fuzz/cgi/tlvx2.conf", kConf);
    {
        TMapEnvironment console;
        std::ostringstream out, err;
        TMain module({kProgram, "-INSTALL", "main"}, out, console);
        RunCgi([&](const TWebRequest& r, TWebResponse& w) { module.MainMainActionAction(r, w); },
               console, nullptr, out, err);
    }
    const char* history[] = {"id=main&node=index", "id=main&node=news.a", "id=main&node=news.b",
                             "id=main&node=shop&nocookies=1", "id=main&node=news.a&style=point"};
    for (const char* query : history) {
        TMapEnvironment env;
        env.Set("GATEWAY_INTERFACE", "CGI/1.1");
        env.Set("REQUEST_METHOD", "GET");
        env.Set("QUERY_STRING", query);
        env.Set("REMOTE_ADDR", "10.0.0.7");
        env.Set("HTTP_REFERER", "http://yandex.ru/yandsearch?text=counter");
        env.Set("HTTP_USER_AGENT", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
        env.Set("HTTP_ACCEPT_LANGUAGE", "ru,en;q=0.5");
        if (!cookies_.empty()) env.Set("HTTP_COOKIE", cookies_);
        TRoadRun run = Run(env, "");
        const std::string set = CookiesOfReply(run.out);
        if (!set.empty()) cookies_ = set;
    }
    for (const char* path : {kDatabase, kHitLog, "/fuzz/cgi/tlvx2.conf"})
        saved_[path] = Files().Contents(path);
}

void TCounterRoad::Restore() {
    Files().Clear();
    for (const auto& [path, bytes] : saved_) Files().SetContents(path, bytes);
    guids.n = 1000;
}

TRoadRun TCounterRoad::Run(const TMapEnvironment& env, const std::string& body) {
    TRoadRun run;
    std::ostringstream out, err;
    std::istringstream in(body);
    TMain module({kProgram}, out, env);
    run.status = RunCgi(
        [&](const TWebRequest& r, TWebResponse& w) { module.MainMainActionAction(r, w); }, env, &in,
        out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

TRoadRun TCounterRoad::UsualHit(const std::string& cookies) {
    TMapEnvironment env;
    env.Set("GATEWAY_INTERFACE", "CGI/1.1");
    env.Set("REQUEST_METHOD", "GET");
    env.Set("QUERY_STRING", "id=main&node=news.a");
    env.Set("REMOTE_ADDR", "10.0.0.8");
    if (!cookies.empty()) env.Set("HTTP_COOKIE", cookies);
    return Run(env, "");
}

}  // namespace tlvx
