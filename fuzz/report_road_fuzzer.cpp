// One hostile request through the whole report program over a counter
// database with history, in memory under a fixed clock: NUL-separated
// QUERY_STRING, AUTH_USER, HTTP_HOST, SCRIPT_NAME, REMOTE_ADDR, GMT_OFFSET,
// HTTP_COOKIE, then the access list file. The program must answer once
// with a page, a picture or a refusal, the same bytes when asked again,
// leave the database as it was, and write no markup or quote of a query
// value raw into a page.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/counter_road.h"
#include "fuzz/fuzz_guard.h"
#include "model/error_notes.h"
#include "platform/cgi_run.h"
#include "platform/html_escape.h"
#include "platform/web_fields.h"
#include "webstat/main_module.h"

using namespace tlvx;

namespace {

const char* const kVariables[] = {"QUERY_STRING", "AUTH_USER", "HTTP_HOST", "SCRIPT_NAME",
                                  "REMOTE_ADDR", "GMT_OFFSET", "HTTP_COOKIE"};
constexpr size_t kParts = std::size(kVariables) + 1;
constexpr const char* kProgram = "/fuzz/cgi/tlvxstat";
constexpr const char* kAccessList = "/fuzz/cgi/.tlvx2access";

std::string Answer(const TMapEnvironment& env) {
    ResetErrorNotes();
    std::ostringstream out, err;
    int status = 1;
    RunGuarded([&] {
        TMainM module({kProgram}, out, env);
        status = RunCgi([&](const TWebRequest& r, TWebResponse& w) { module.MainItemAction(r, w); }, env, nullptr,
                        out, err);
    });
    if (status != 0) std::fprintf(stderr, "%s", err.str().c_str());
    FuzzCheck(status == 0, "an error escaped the report road");
    return out.str();
}

// What a query value could break in a page when written raw.
bool CouldBreakOut(std::string_view value) {
    return value.size() >= 3 && value.find_first_of("<>\"'") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TCounterRoad* road = new TCounterRoad;
    road->Restore();
    const std::vector<std::string> parts =
        SplitFuzzInput(std::string_view(reinterpret_cast<const char*>(data), size), kParts);
    if (!parts.back().empty()) road->Files().SetContents(kAccessList, parts.back());

    TMapEnvironment env;
    env.Set("GATEWAY_INTERFACE", "CGI/1.1");
    env.Set("REQUEST_METHOD", "GET");
    for (size_t i = 0; i < std::size(kVariables); ++i)
        if (!parts[i].empty()) env.Set(kVariables[i], parts[i]);
    const std::string database = road->Files().Contents(TCounterRoad::kDatabase);

    const std::string out = Answer(env);
    FuzzCheck(out.starts_with("Status: 200 ") || out.starts_with("Status: 403 ") || out.starts_with("Status: 404 "),
              "no page, picture or refusal went out");
    const size_t head = out.find("\r\n\r\n");
    FuzzCheck(head != std::string::npos, "the answer has no end of its headers");
    FuzzCheck(out.substr(0, head).find('\n') == out.substr(0, head).find("\r\n") + 1,
              "a header line holds a line break of its own");
    FuzzCheck(Answer(env) == out, "the same request gave other bytes");
    FuzzCheck(road->Files().Contents(TCounterRoad::kDatabase) == database, "the report changed the database");

    // A page field that could break out of its place: the page must not
    // hold it raw where the same page with a plain value in its place does
    // not (the page's own markup may hold the same bytes).
    const TWebFields query = ParseUrlEncodedFields(parts[0]);
    for (size_t i = 0; i < query.Count(); ++i) {
        const std::string& name = query.Name(i);
        if (!CouldBreakOut(query.ValueAt(i)) || SameText(name, "id") || SameText(name, "page") ||
            SameText(name, "img") || SameText(name, "imgind"))
            continue;
        std::string plain;
        for (size_t j = 0; j < query.Count(); ++j)
            plain += (j ? "&" : "") + UrlArg(query.Name(j)) + "=" + UrlArg(j == i ? "plain" : query.ValueAt(j));
        TMapEnvironment plainEnv = env;
        plainEnv.Set("QUERY_STRING", plain);
        if (out.find(query.ValueAt(i)) != std::string::npos)
            FuzzCheck(Answer(plainEnv).find(query.ValueAt(i)) != std::string::npos, "a query value stands raw in the page");
        break;
    }
    return 0;
}
