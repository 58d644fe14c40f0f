// The node statistics queries on the database bench_hits leaves behind.
//
// Opens the database read-only, as the report program does, and times each
// query family over today, the last 7, 30 and 365 days, for the root and for
// a leaf; every figure is the best of several runs, in milliseconds, of a
// query that opens its own node afresh. Targets: every query over 30 days
// under 5 ms, over 365 days under 50 ms.
//
//   bench_queries [--db PATH] [--leaf PATH] [--runs N] [--cache BYTES] [--only TEXT] [--cold]
//
// With --cache the database is opened through the storage factory with an
// atom cache budget of that many bytes instead of through OpenCounter2
// (which gives a read-only open the reader's budget), to show what the
// queries cost with a smaller or larger cache. --only times the query
// families whose name contains TEXT. With --cold every run opens the
// database afresh (an empty cache, as each report request starts) and the
// figure includes that open.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/counter2.h"
#include "model/counter2_layout.h"
#include "model/node_collection.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "store/storage_factory.h"
#include "store/virtual_storage.h"
#include "webstat/report_queries.h"

using namespace tlvx;

namespace {


double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct TFamily {
    const char* name;
    // Runs the query on node over [from, to]; returns something to keep.
    std::function<double(INode& node, double from, double to)> run;
    // Instead of run: a query over every node of the tree (timed once, on
    // the root's row).
    std::function<double(INodeCollection& nodes, double from, double to)> everyNode = nullptr;
    // Instead of run: what the report pages compute from the counter (only
    // when the database is opened as the report program opens it).
    std::function<double(ICounter2& counter, double from, double to)> report = nullptr;
};

// The summary panel that heads every report page: today's and yesterday's
// figures of the site, each figure of the last seven days, today's hot page
// and hot referral.
double SummaryPanel(ICounter2& counter, double today) {
    double keep = 0;
    for (TPeriod code : {TPeriod::Today, TPeriod::Yesterday})
        keep += double(PeriodHits(counter, code, "", false, today) + PeriodVisits(counter, code, "", false, today) +
                       PeriodVisitors(counter, code, "", false, today));
    Ref<INodeInfo> root = counter.GetNodes()->GetRoot()->GetInfo();
    for (double day = today - 7; day < today - 0.5; ++day)
        keep += root->GetDayHits(day, day) + root->GetDayVisits(day, day) + root->GetDayVisitors(day, day);
    keep += HotPage(counter, today).Count + HotReferral(counter, "host0.example.com", today).Count;
    return keep;
}

// Every node found by its path and asked for its own figure, as the report
// pages do for their page lists and the summary panel's hot page.
double EveryPath(INodeCollection& nodes, const std::function<double(INode&)>& figure) {
    double sum = 0;
    for (const std::string& path : nodes.GetAllLinkPaths())
        if (Ref<INode> node = nodes.FindNode(path, false)) sum += figure(*node);
    return sum;
}

double Sum(const TIPArray& rows) {
    double s = 0;
    for (const TIPRow& r : rows) s += r.Hits;
    return s;
}

std::vector<TFamily> Families() {
    return {
        {"day hits", [](INode& n, double f, double t) { return double(n.GetInfo()->GetDayHits(f, t)); }},
        {"day visits", [](INode& n, double f, double t) { return double(n.GetInfo()->GetDayVisits(f, t)); }},
        {"day new visitors", [](INode& n, double f, double t) { return double(n.GetInfo()->GetDayNewVisitors(f, t)); }},
        {"day visitors", [](INode& n, double f, double t) { return double(n.GetInfo()->GetDayVisitors(f, t)); }},
        {"subtree day hits", [](INode& n, double f, double t) { return double(n.GetDayHits(true, f, t)); }},
        {"source day sum", [](INode& n, double f, double t) { return double(n.GetInfo()->GetSourceDaySum("HOST7.EXAMPLE.COM", 0, f, t)); }},
        {"source transitions", [](INode& n, double f, double t) { return double(n.GetInfo()->GetSourceDayTransitions("UNKNOWN", f, t)); }},
        {"source day rows", [](INode& n, double f, double t) { return double(n.GetInfo()->GetSourceDayRows("UNKNOWN", f, t).size()); }},
        {"source totals", [](INode& n, double f, double t) { return double(n.GetInfo()->GetSourceTotals("UNKNOWN", f, t).Hits); }},
        {"period source list", [](INode& n, double f, double t) { return double(n.GetInfo()->GetPeriodSourceList(f, t).size()); }},
        {"day source list", [](INode& n, double, double t) { return double(n.GetInfo()->GetDaySourceList(t).size()); }},
        {"unknown shares", [](INode& n, double f, double) { return double(n.GetInfo()->GetUnknownShares(f).size()); }},
        {"source list", [](INode& n, double, double) { return double(n.GetInfo()->GetSourceList(TListOrder::Hits).size()); }},
        {"sources used after", [](INode& n, double f, double) { return double(n.GetInfo()->CountSourcesUsedAfter(f)); }},
        {"sources first seen", [](INode& n, double f, double t) { return double(n.GetInfo()->CountSourcesFirstSeen(f, t)); }},
        {"previous pages", [](INode& n, double, double) { return double(n.GetInfo()->GetPrevNodeList(TListOrder::Hits).size()); }},
        {"week-hour block", [](INode& n, double, double) { return double(n.GetWeekHourBlock(false).AllDays.Total); }},
        {"subtree week-hour", [](INode& n, double, double) { return double(n.GetWeekHourBlock(true).AllDays.Total); }},
        {"last day (subtree)", [](INode& n, double, double) { return n.GetLastDay(true); }},
        {"IP stats for period", [](INode& n, double f, double t) { return Sum(n.GetInfo()->GetIPStatsForPeriod(f, t)); }},
        {"IP records", [](INode& n, double, double) { return Sum(n.GetInfo()->GetIPRecords()); }},
        {"every path: day hits", nullptr,
         [](INodeCollection& c, double f, double t) {
             return EveryPath(c, [&](INode& n) { return double(n.GetInfo()->GetDayHits(f, t)); });
         }},
        {"every path: last day", nullptr,
         [](INodeCollection& c, double, double) {
             return EveryPath(c, [&](INode& n) { return n.GetInfo()->GetLastDay() + n.GetChildCount(); });
         }},
        {"report: summary panel", nullptr, nullptr,
         [](ICounter2& counter, double, double t) { return SummaryPanel(counter, std::trunc(t)); }},
        {"report: path lists", nullptr, nullptr,
         [](ICounter2& counter, double, double) {
             TEntryExitPages best;
             BestEntryExitPages(counter, best);
             return double(ListAllNodePaths(counter).size() + ListGroupPaths(counter).size() + best.EntryCount);
         }},
        {"report: period sums", nullptr, nullptr,
         [](ICounter2& counter, double f, double t) {
             // What the general page of a group asks over the period.
             const double days = std::trunc(t) - std::trunc(f) + 1;
             const TPeriod code = days <= 1   ? TPeriod::Today
                                 : days <= 8 ? TPeriod::SinceWeekAgo
                                             : TPeriod::Since30DaysAgo;
             return double(PeriodHits(counter, code, "s3", true, t) + PeriodVisits(counter, code, "s3", true, t) +
                           PeriodVisitors(counter, code, "s3", true, t) +
                           PeriodNewVisitors(counter, code, "s3", true, t));
         }},
    };
}

}  // namespace

int main(int argc, char** argv) {
    std::string db = "/tmp/tlvx_bench_hits.orv", leaf = "s3.g2.p4";
    int runs = 5;
    int cache = 0;
    bool cold = false;
    std::string only;
    for (int i = 1; i < argc; i += 2) {
        std::string key = argv[i];
        if (key == "--cold") {
            cold = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "option %s needs a value\n", key.c_str());
            return 2;
        }
        std::string value = argv[i + 1];
        if (key == "--db") db = value;
        else if (key == "--leaf") leaf = value;
        else if (key == "--runs") runs = std::max(1, std::atoi(value.c_str()));
        else if (key == "--cache") cache = std::max(0, std::atoi(value.c_str()));
        else if (key == "--only") only = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            return 2;
        }
    }
    if (!std::filesystem::exists(db)) {
        std::fprintf(stderr, "no database at %s: run bench_hits --db %s first\n", db.c_str(), db.c_str());
        return 2;
    }
    TSettableClock clock;
    SetClock(&clock);
    // One read-only open of the database, as one report request makes.
    struct TOpen {
        Ref<ICounter2> counter;
        Ref<IVirtualStorage> storage;
        Ref<IStorageTransaction> tr;
        Ref<INodeCollection> nodes;
        ~TOpen() {
            nodes.reset();
            counter.reset();
            tr.reset();
            storage.reset();
        }
    };
    auto open = [&](TOpen& o) {
        if (cache > 0) {
            o.storage = StorageFactory().OpenStorage(0, 0, "file://" + db, "",
                                                     "mode=readonly; CacheBytes=" + std::to_string(cache));
            o.tr = o.storage->StartTransaction();
            o.nodes = TNodeCollection::Open(o.tr->OpenRootAtom()->OpenLink(rcNodes));
        } else {
            OpenCounter2(db, o.counter, TSkinStreams{}, true, "id=1");
            if (!o.counter) {
                std::fprintf(stderr, "cannot open %s read-only\n", db.c_str());
                std::exit(2);
            }
            o.nodes = o.counter->GetNodes();
        }
    };
    auto warm = std::make_unique<TOpen>();
    open(*warm);
    const double today = warm->nodes->GetRoot()->GetLastDay(false);
    clock.now = today + 0.75;  // late on the last recorded day
    std::printf("database %s (%llu bytes), today %.0f, leaf %s; best of %d runs, ms%s\n", db.c_str(),
                (unsigned long long)std::filesystem::file_size(db), today, leaf.c_str(), runs,
                cold ? ", each run on a fresh open (the open included)" : "");

    const int periods[] = {1, 7, 30, 365};
    std::printf("%-22s %-5s %9s %9s %9s %9s\n", "query", "node", "today", "7 days", "30 days", "365 days");
    double worst30 = 0, worst365 = 0;
    for (const TFamily& family : Families()) {
        if (!only.empty() && std::string(family.name).find(only) == std::string::npos) continue;
        if (family.report && !warm->counter) continue;
        for (const std::string& path : {std::string(), leaf}) {
            const bool whole = family.everyNode || family.report;
            if (whole && !path.empty()) continue;
            std::printf("%-22s %-5s", family.name, whole ? "all" : path.empty() ? "root" : "leaf");
            for (int days : periods) {
                double best = 1e9, keep = 0;
                for (int r = 0; r < runs; ++r) {
                    double start = Seconds();
                    std::unique_ptr<TOpen> fresh;
                    if (cold) {
                        fresh = std::make_unique<TOpen>();
                        open(*fresh);
                    }
                    INodeCollection& nodes = *(cold ? fresh : warm)->nodes;
                    if (family.report) {
                        keep += family.report(*(cold ? fresh : warm)->counter, today - days + 1, today + 0.5);
                    } else if (family.everyNode) {
                        keep += family.everyNode(nodes, today - days + 1, today + 0.5);
                    } else {
                        Ref<INode> node = path.empty() ? nodes.GetRoot() : nodes.FindNode(path, false);
                        if (!node) {
                            std::fprintf(stderr, "no node %s\n", path.c_str());
                            return 2;
                        }
                        keep += family.run(*node, today - days + 1, today + 0.5);
                    }
                    fresh.reset();
                    best = std::min(best, Seconds() - start);
                }
                (void)keep;
                double ms = best * 1e3;
                // The targets are per node query; the every-node forms are
                // what a page of all nodes costs, shown beside them.
                if (days == 30 && !whole) worst30 = std::max(worst30, ms);
                if (days == 365 && !whole) worst365 = std::max(worst365, ms);
                std::printf(" %9.3f", ms);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::printf("slowest node query over 30 days %.3f ms (target < 5), over 365 days %.3f ms (target < 50)\n",
                worst30, worst365);
    warm.reset();
    SetClock(nullptr);
    return 0;
}
