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
//   bench_report [--db PATH] [--small PATH] [--runs N]
//
// The pages read "today" from the system clock: on a database whose last
// day lies in the past, the figures of recent periods are empty, which the
// output says.
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
#include "model/testing/synthetic_site.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_dir.h"
#include "raster/default_skin.h"
#include "webstat/page_table.h"

using namespace tlvx;

namespace {

struct TOptions {
    std::string db = "/tmp/tlvx_bench_hits.orv";
    std::string small;
    int runs = 11;
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--db") o.db = value;
        else if (key == "--small") o.small = value;
        else if (key == "--runs") o.runs = std::max(1, std::atoi(value.c_str()));
        else {
            std::fprintf(stderr, "usage: bench_report [--db PATH] [--small PATH] [--runs N]\n");
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
        {"TIMES hours", "page=times&kind=hours"},
        {"TIMES days", "page=times&kind=days"},
        {"TIMES group", "page=times&nodename=s0.g0&group=1"},
        {"VISITORS yest", "page=visitors&period=yest"},
        {"VISITORS 7", "page=visitors&period=7"},
        {"VISITORS 30", "page=visitors&period=30"},
        {"VISITORS 90", "page=visitors&period=90"},
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

// 200 visitors with 5 hits each on one day of the synthetic site of
// bench_hits, recorded through the model in one transaction.
void BuildSmallDatabase(const std::string& path, double day) {
    TSettableClock clock(day);
    SetClock(&clock);
    TSequenceGuids guids;
    SetGuidSource(&guids);
    TNWPaintRectList defSkin;
    LoadDefaultSkin(defSkin);
    const TDefaultSkinStreams skin(defSkin);
    Ref<ICounter2> counter;
    OpenCounter2(path, counter, skin.Streams(), false, "");
    if (!counter) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
                     "<Base:small>\nDataBaseName=%s\nShowServerTime=1\n</Base>\n",
                     dir.File("images").c_str(), o.db.c_str(), small.c_str());
        std::fclose(conf);
    }
    const double today = std::trunc(Clock().Now());
    std::printf("large %s (%.0f MB), small %s; %d runs each\n", o.db.c_str(),
                double(std::filesystem::file_size(o.db)) / 1e6, small.c_str(), o.runs);
    if (lastDay > 0 && lastDay < today)
        std::printf("the large database's last day is %.0f days before today: recent periods read empty days\n",
                    today - lastDay);
    std::printf("%-16s %12s %12s %8s %10s\n", "page", "small ms", "large ms", "ratio", "large KB");
    // What starting any process costs here, for scale.
    {
        std::vector<double> times;
        size_t bytes = 0;
        for (int r = 0; r < o.runs; ++r) times.push_back(TimeRequest("/bin/true", "", bytes, false));
        std::printf("%-16s %12.2f\n", "(/bin/true)", Median(times) * 1e3);
    }
    for (const TVariant& variant : Variants()) {
        std::vector<double> smallTimes, largeTimes;
        size_t bytes = 0, smallBytes = 0;
        for (int r = 0; r < o.runs; ++r) {
            smallTimes.push_back(TimeRequest(program, "id=small&" + variant.Query, smallBytes));
            largeTimes.push_back(TimeRequest(program, "id=big&" + variant.Query, bytes));
        }
        const double s = Median(smallTimes) * 1e3, l = Median(largeTimes) * 1e3;
        std::printf("%-16s %12.2f %12.2f %8.2f %10.1f\n", variant.Name.c_str(), s, l, l / s, double(bytes) / 1024);
        std::fflush(stdout);
    }
    return 0;
}
