// Cost of each report page as the web server pays it: one whole tlvxstat
// process per request, on a large database beside the same page on a small
// one.
//
// The large database is the one given (by default the 10^6-hit database
// bench_hits leaves); the small one, 10^3 hits of the same synthetic site on
// the large one's last day, is made here through the model with a fixed
// clock unless given. Every page value of the page table is timed, and the
// variants below; each as the median of RUNS processes, large and small
// taken in turn so a busy machine slows both alike.
//
//   bench_report [--db PATH] [--small PATH] [--runs N] [--crowd N]
//
// The synthetic databases record no visitors; with --crowd N the visitor
// list's pages are timed again on a database of N visitors, each with one
// hit on one of the last 90 days, beside the same pages on the small one.
//
// The pages read "today" from the system clock: on a database whose last
// day lies in the past, the figures of recent periods are empty, which the
// output says. A second table therefore runs the same requests in this
// process through the report module, with the clock set to 15:00 of the
// large database's last day, so that every recent day is full: what a page
// costs beyond starting a process, on a database in use.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/counter2.h"
#include "model/counter_install.h"
#include "model/visitor_collection.h"
#include "model/testing/synthetic_site.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_dir.h"
#include "raster/default_skin.h"
#include "webstat/page_table.h"
#include "webstat/testing/report_site.h"

using namespace tlvx;

namespace {

struct TOptions {
    std::string db = "/tmp/tlvx_bench_hits.orv";
    std::string small;
    int runs = 11;
    int crowd = 0;
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--db") o.db = value;
        else if (key == "--small") o.small = value;
        else if (key == "--runs") o.runs = std::max(1, std::atoi(value.c_str()));
        else if (key == "--crowd") o.crowd = std::max(0, std::atoi(value.c_str()));
        else {
            std::fprintf(stderr, "usage: bench_report [--db PATH] [--small PATH] [--runs N] [--crowd N]\n");
            std::exit(2);
        }
    }
    return o;
}

// A named request beyond the plain page value: page engineers add theirs.
struct TVariant {
    std::string Name;
    std::string Query;  // after "id=...&"
};

std::vector<TVariant> Variants() {
    std::vector<TVariant> variants;
    for (const TReportPage& page : ReportPages())
        variants.push_back({std::string(page.Value), "page=" + std::string(page.Value)});
    // The synthetic site's nodes: s0 a group of groups, s0.g0 a group of
    // leaves, s0.g0.p0 a leaf.
    const std::vector<TVariant> more = {
        {"MAIN leaf", "page=main&nodename=s0.g0.p0"},
        {"MAIN group", "page=main&nodename=s0&group=1"},
        {"DIN leaf", "page=din&nodename=s0.g0.p0"},
        {"DIN group", "page=din&nodename=s0&group=1"},
        {"TIMES hours", "page=times&kind=hours"},
        {"TIMES days", "page=times&kind=days"},
        {"TIMES group", "page=times&nodename=s0.g0&group=1"},
        {"VISITORS yest", "page=visitors&period=yest"},
        {"VISITORS 7", "page=visitors&period=7"},
        {"VISITORS 30", "page=visitors&period=30"},
        {"VISITORS 90", "page=visitors&period=90"},
        {"VISITORS 100 by address", "page=visitors&show=100&sort=1"},
        {"WEEKS leaf", "page=weeks&nodename=s0.g0.p0"},
        {"WEEKS group", "page=weeks&nodename=s0&group=1"},
        {"TIMES leaf hours", "page=times&nodename=s0.g0.p0&kind=hours"},
        {"NODES hits", "page=nodes&kind=hits"},
        {"NODES vis last", "page=nodes&kind=visitors&dates=last"},
        {"REFS per day", "page=refs&compare=2"},
        {"REFS hits first", "page=refs&compare=4&timesort=first"},
        {"REFS leaf", "page=refs&node=s0.g0.p0"},
        {"REFS group", "page=refs&nodename=s0"},
        {"REFS detail", "page=refs&podr=1&refname=" + synthetic::HostName(7)},
        {"CALENDAR group", "page=calendar&group=1&nodename=s0"},
        {"CALENDAR leaf", "page=calendar&kind=page&nodename=s0.g0.p0"},
        {"CALENDAR all", "page=calendar&period=all"},
        {"CALENDAR 30 group", "page=calendar&period=30&group=1&nodename=s0"},
        {"CALENDAR ref", "page=calendar&kind=ref&ref=" + synthetic::HostName(7) + "&node="},
    };
    variants.insert(variants.end(), more.begin(), more.end());
    return variants;
}

double LastDayOf(const std::string& path) {
    Ref<ICounter2> counter;
    OpenCounter2(path, counter, TSkinStreams{}, true, "");
    if (!counter) {
        std::fprintf(stderr, "cannot open the database %s (run bench_hits first)\n", path.c_str());
        std::exit(1);
    }
    return counter->GetNodes()->GetRoot()->GetInfo()->GetLastDay();
}

// A new counter database with the default skin; ends the program when it
// cannot be made.
Ref<ICounter2> CreateBenchDatabase(const std::string& path) {
    TNWPaintRectList defSkin;
    LoadDefaultSkin(defSkin);
    const TDefaultSkinStreams skin(defSkin);
    Ref<ICounter2> counter;
    OpenCounter2(path, counter, skin.Streams(), false, "");
    if (!counter) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    return counter;
}

// 200 visitors with 5 hits each on one day of the synthetic site of
// bench_hits, recorded through the model in one transaction.
void BuildSmallDatabase(const std::string& path, double day) {
    TSettableClock clock(day);
    SetClock(&clock);
    TSequenceGuids guids;
    SetGuidSource(&guids);
    Ref<ICounter2> counter = CreateBenchDatabase(path);
    synthetic::TSiteShape shape;
    shape.VisitorsPerDay = 200;
    synthetic::TSiteGenerator site(shape);
    Ref<INodeCollection> nodes = counter->GetNodes();
    for (const synthetic::THit& hit : site.Day(int32_t(day))) {
        clock.now = hit.When;
        nodes->RecordNodeHit(hit.Path, true, hit.NodeFacts());
        nodes->RecordSiteHit(hit.SiteFacts());
    }
    nodes.reset();
    counter.reset();
    SetGuidSource(nullptr);
    SetClock(nullptr);
}

// count visitors, each with one hit (a site hit and its visitor record) on
// one of the 90 days up to day, from addresses of their own, in one
// transaction.
void BuildCrowdDatabase(const std::string& path, double day, int count) {
    TSettableClock clock(day - 89);
    SetClock(&clock);
    TSequenceGuids guids;
    SetGuidSource(&guids);
    Ref<ICounter2> counter = CreateBenchDatabase(path);
    Ref<IVisitorCollection> visitors = counter->GetVisitors();
    synthetic::TSiteShape shape;
    shape.VisitorsPerDay = 1;
    synthetic::TSiteGenerator site(shape);
    const synthetic::THit hit = site.Day(int32_t(day)).front();
    for (int v = 0; v < count; ++v) {
        clock.now = day - 89 + (v % 90) + (v % 1000) / 1440.0;
        std::string id;
        visitors->RegisterHit(id, int32_t(0x0A000000u + uint32_t(v) * 2654435761u % 0x00FFFFFFu), true, true,
                              clock.now);
        counter->GetNodes()->RecordSiteHit(hit.SiteFacts());
    }
    visitors.reset();
    counter.reset();
    SetGuidSource(nullptr);
    SetClock(nullptr);
}

// One request as a fresh process; seconds, and the reply's size.
double TimeRequest(const std::string& program, const std::string& query, size_t& bytes,
                   bool expectPage = true) {
    const std::vector<std::string> env = {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET",
                                          "QUERY_STRING=" + query, "SCRIPT_NAME=/cgi-bin/tlvxstat",
                                          "HTTP_HOST=www.example.com", "REMOTE_ADDR=127.0.0.1"};
    const auto start = std::chrono::steady_clock::now();
    const test::TProgramRun run = test::RunProgram({program}, env);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!expectPage) return seconds;
    if (run.ExitCode != 0 || run.Out.find("Status: 200") == std::string::npos) {
        std::fprintf(stderr, "%s failed: %s\n", query.c_str(), run.Err.c_str());
        std::exit(1);
    }
    bytes = run.Out.size();
    return seconds;
}

// One request answered in this process at the given moment; milliseconds.
double TimeInProcess(const std::string& program, const std::string& query, double now) {
    TSettableClock clock(now);
    SetClock(&clock);
    const TMapEnvironment env = test::ReportRequestEnvironment(query);
    const auto start = std::chrono::steady_clock::now();
    const test::TReportAnswer answer = test::RunReportInProcess({program}, env);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    SetClock(nullptr);
    if (answer.Status != 200) {
        std::fprintf(stderr, "%s failed in process: %s\n", query.c_str(), answer.Err.c_str());
        std::exit(1);
    }
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One variant on the small database and on counter id, taken in turn:
// the medians, their ratio and the size of id's page.
void CompareVariant(const std::string& program, const std::string& id, const TVariant& variant, int runs) {
    std::vector<double> smallTimes, times;
    size_t bytes = 0, smallBytes = 0;
    for (int r = 0; r < runs; ++r) {
        smallTimes.push_back(TimeRequest(program, "id=small&" + variant.Query, smallBytes));
        times.push_back(TimeRequest(program, "id=" + id + "&" + variant.Query, bytes));
    }
    const double s = Median(smallTimes) * 1e3, l = Median(times) * 1e3;
    std::printf("%-24s %12.2f %12.2f %8.2f %10.1f\n", variant.Name.c_str(), s, l, l / s, double(bytes) / 1024);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const TOptions o = ParseOptions(argc, argv);
    const double lastDay = LastDayOf(o.db);
    TTestTempDir dir;
    std::string small = o.small;
    if (small.empty()) {
        small = dir.File("small.orv");
        BuildSmallDatabase(small, lastDay > 0 ? lastDay : EncodeDateTime(2024, 1, 1));
    }
    // The program beside its configuration: counter "big" and counter "small".
    const std::string program = dir.File("tlvxstat");
    std::filesystem::copy_file(TLVX_TLVXSTAT, program);
    std::filesystem::create_directory(dir.File("images"));
    {
        std::FILE* conf = std::fopen(dir.File("tlvx2.conf").c_str(), "w");
        std::fprintf(conf, "ImagesDirectory=%s\n<Base:big>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n"
                     "<Base:small>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n"
                     "<Base:crowd>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n",
                     dir.File("images").c_str(), o.db.c_str(), small.c_str(), dir.File("crowd.orv").c_str());
        std::fclose(conf);
    }
    const double today = std::trunc(Clock().Now());
    std::printf("large %s (%.0f MB), small %s; %d runs each\n", o.db.c_str(),
                double(std::filesystem::file_size(o.db)) / 1e6, small.c_str(), o.runs);
    if (lastDay > 0 && lastDay < today)
        std::printf("the large database's last day is %.0f days before today: recent periods read empty days\n",
                    today - lastDay);
    std::printf("%-24s %12s %12s %8s %10s\n", "page", "small ms", "large ms", "ratio", "large KB");
    // What starting any process costs here, for scale.
    {
        std::vector<double> times;
        size_t bytes = 0;
        for (int r = 0; r < o.runs; ++r) times.push_back(TimeRequest("/bin/true", "", bytes, false));
        std::printf("%-24s %12.2f\n", "(/bin/true)", Median(times) * 1e3);
    }
    for (const TVariant& variant : Variants()) CompareVariant(program, "big", variant, o.runs);
    if (o.crowd > 0) {
        BuildCrowdDatabase(dir.File("crowd.orv"), today, o.crowd);
        std::printf("\nthe visitor list with %d visitors (%.0f MB)\n", o.crowd,
                    double(std::filesystem::file_size(dir.File("crowd.orv"))) / 1e6);
        std::printf("%-24s %12s %12s %8s %10s\n", "page", "small ms", "crowd ms", "ratio", "crowd KB");
        for (const TVariant& variant : Variants())
            if (variant.Query.starts_with("page=VISITORS") || variant.Query.starts_with("page=visitors"))
                CompareVariant(program, "crowd", variant, o.runs);
    }
    if (lastDay > 0) {
        const double at = std::trunc(lastDay) + 15.0 / 24;
        std::printf("\nin this process, at 15:00 of the large database's last day\n%-16s %12s %12s\n", "page",
                    "small ms", "large ms");
        for (const TVariant& variant : Variants()) {
            std::vector<double> smallTimes, largeTimes;
            for (int r = 0; r < o.runs; ++r) {
                smallTimes.push_back(TimeInProcess(program, "id=small&" + variant.Query, at));
                largeTimes.push_back(TimeInProcess(program, "id=big&" + variant.Query, at));
            }
            std::printf("%-16s %12.2f %12.2f\n", variant.Name.c_str(), Median(smallTimes), Median(largeTimes));
            std::fflush(stdout);
        }
    }
    return 0;
}
