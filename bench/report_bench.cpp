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
//   bench_report [--db PATH|none] [--small PATH] [--runs N] [--crowd N]
//
// The synthetic databases record no visitors; with --crowd N the visitor
// list's pages are timed again on a database of N visitors beside the same
// pages on one of 200, both made through the counter program's hit road
// (cookies, node lists, paths) over the last 90 days. --db none times only
// these.
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
#include "webstat/testing/report_fixtures.h"
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

// The hits of count visitors over the 90 days up to now, as the counter
// program receives them: each visitor comes on one of those days for a
// session of one to four pages of the synthetic site, two minutes apart,
// from an address of its own, with cookies; every third comes back for
// another session a few days later.
std::vector<test::TPlannedHit> CrowdHits(int count, double now) {
    synthetic::TRandom random(0xC40Dull + uint64_t(count));
    const std::vector<std::string> nodes = synthetic::NodePaths(synthetic::TSiteShape{});
    const double today = std::trunc(now), minute = 1.0 / 1440;
    std::vector<test::TPlannedHit> hits;
    auto session = [&](uint32_t visitor, double day) {
        if (day > today) return;
        const uint32_t pages = 1 + random.Below(4);
        // Whole sessions before now, even on today's short day.
        const double room = std::max(1.0, (std::min(day + 1, now) - day) / minute - 2.0 * pages - 1);
        const double start = day + (random.Below(uint32_t(room)) + 0.5) * minute;
        for (uint32_t k = 0; k < pages; ++k) {
            test::TPlannedHit hit;
            hit.When = start + 2 * k * minute;
            hit.Visitor = visitor;
            hit.Node = nodes[random.Below(uint32_t(nodes.size()))];
            if (k > 0) hit.Referer = "http://www.mysite.example/";
            hits.push_back(std::move(hit));
        }
    };
    for (int v = 0; v < count; ++v) {
        const double day = today - 89 + random.Below(90);
        session(uint32_t(v), day);
        if (v % 3 == 0) session(uint32_t(v), day + 1 + random.Below(5));
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const test::TPlannedHit& a, const test::TPlannedHit& b) { return a.When < b.When; });
    return hits;
}

// A database of count visitors made through the counter program's hit road.
void BuildCrowdDatabase(const std::string& path, double now, int count) {
    test::BuildHitsDatabase(CrowdHits(count, now), path, now);
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

// One variant on counter base and on counter id, taken in turn: the
// medians, their ratio and the size of id's page.
void CompareVariant(const std::string& program, const std::string& base, const std::string& id,
                    const TVariant& variant, int runs) {
    std::vector<double> baseTimes, times;
    size_t bytes = 0, baseBytes = 0;
    for (int r = 0; r < runs; ++r) {
        baseTimes.push_back(TimeRequest(program, "id=" + base + "&" + variant.Query, baseBytes));
        times.push_back(TimeRequest(program, "id=" + id + "&" + variant.Query, bytes));
    }
    const double s = Median(baseTimes) * 1e3, l = Median(times) * 1e3;
    std::printf("%-24s %12.2f %12.2f %8.2f %10.1f\n", variant.Name.c_str(), s, l, l / s, double(bytes) / 1024);
    std::fflush(stdout);
}

// The visitor list's pages on a crowd of count visitors beside a crowd of
// 200.
void CompareCrowds(const std::string& program, const TTestTempDir& dir, int count, int runs) {
    const double now = Clock().Now();
    BuildCrowdDatabase(dir.File("crowd200.orv"), now, 200);
    BuildCrowdDatabase(dir.File("crowd.orv"), now, count);
    std::printf("\nthe visitor list with %d visitors (%.0f MB) beside 200\n", count,
                double(std::filesystem::file_size(dir.File("crowd.orv"))) / 1e6);
    std::printf("%-24s %12s %12s %8s %10s\n", "page", "200 ms", "crowd ms", "ratio", "crowd KB");
    for (const TVariant& variant : Variants())
        if (variant.Query.starts_with("page=VISITORS") || variant.Query.starts_with("page=visitors"))
            CompareVariant(program, "crowd200", "crowd", variant, runs);
}

}  // namespace

int main(int argc, char** argv) {
    const TOptions o = ParseOptions(argc, argv);
    const bool large = o.db != "none";
    const double lastDay = large ? LastDayOf(o.db) : 0;
    TTestTempDir dir;
    std::string small = o.small;
    if (small.empty() && large) {
        small = dir.File("small.orv");
        BuildSmallDatabase(small, lastDay > 0 ? lastDay : EncodeDateTime(2024, 1, 1));
    }
    // The program beside its configuration: counters "big", "small" and
    // the crowds.
    const std::string program = dir.File("tlvxstat");
    std::filesystem::copy_file(TLVX_TLVXSTAT, program);
    std::filesystem::create_directory(dir.File("images"));
    {
        std::FILE* conf = std::fopen(dir.File("tlvx2.conf").c_str(), "w");
        std::fprintf(conf, "ImagesDirectory=%s\n<Base:big>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n"
                     "<Base:small>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n"
                     "<Base:crowd>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n"
                     "<Base:crowd200>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n",
                     dir.File("images").c_str(), o.db.c_str(), small.c_str(), dir.File("crowd.orv").c_str(),
                     dir.File("crowd200.orv").c_str());
        std::fclose(conf);
    }
    if (large) {
        const double today = std::trunc(Clock().Now());
        std::printf("large %s (%.0f MB), small %s; %d runs each\n", o.db.c_str(),
                    double(std::filesystem::file_size(o.db)) / 1e6, small.c_str(), o.runs);
        if (lastDay > 0 && lastDay < today)
            std::printf("the large database's last day is %.0f days before today: recent periods read empty days\n",
                        today - lastDay);
        std::printf("%-24s %12s %12s %8s %10s\n", "page", "small ms", "large ms", "ratio", "large KB");
        // What starting any process costs here, for scale.
        std::vector<double> times;
        size_t bytes = 0;
        for (int r = 0; r < o.runs; ++r) times.push_back(TimeRequest("/bin/true", "", bytes, false));
        std::printf("%-24s %12.2f\n", "(/bin/true)", Median(times) * 1e3);
        for (const TVariant& variant : Variants()) CompareVariant(program, "small", "big", variant, o.runs);
    }
    if (o.crowd > 0) CompareCrowds(program, dir, o.crowd, o.runs);
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
