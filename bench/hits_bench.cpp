// Hit recording over a growing counter database.
//
// Replays a synthetic site (200 nodes three levels deep, 1,000 distinct
// visitors a day, 5 hits each, referrers from 50 hosts) for 1,000 days: one
// node hit and one site hit per request, through the node collection over a
// storage file. Most days are recorded in one transaction per day to build
// the database quickly; the checkpoint days 1, 10, 100 and 1,000 record
// every request in its own transaction with a durable commit, and print
// requests per second and bytes of database per request. After the last day
// comes a day with 20,000 distinct visitors, whose last requests are again
// committed one by one.
//
//   bench_hits [--db PATH] [--days N] [--visitors N] [--big N] [--durable-sample N]
//
// The database is left at PATH for bench_queries.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "model/node_collection.h"
#include "model/synthetic_site.h"
#include "platform/clock.h"
#include "store/journaled_file.h"
#include "store/storage_factory.h"
#include "store/virtual_storage.h"

using namespace tlvx;

namespace {

constexpr int32_t kNodesLink = 13;  // root child holding the node tree
const char* const kParams = "class={5E1F0C3A-7D21-4B8E-9A44-1C0FFEE00001}";

class TReplayClock : public IClock {
public:
    double now = 0;
    double Now() override { return now; }
    int32_t BiasMinutes() override { return 0; }
    uint32_t TickCount() override { return 0; }
};

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct TOptions {
    std::string db = "/tmp/tlvx_bench_hits.orv";
    int days = 1000;
    int visitors = 1000;
    int bigVisitors = 20000;
    int durableSample = 5000;  // requests committed one by one at the end of the big day
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i], value = argv[i + 1];
        if (key == "--db") o.db = value;
        else if (key == "--days") o.days = std::atoi(value.c_str());
        else if (key == "--visitors") o.visitors = std::atoi(value.c_str());
        else if (key == "--big") o.bigVisitors = std::atoi(value.c_str());
        else if (key == "--durable-sample") o.durableSample = std::atoi(value.c_str());
        else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            std::exit(2);
        }
    }
    return o;
}

class TReplay {
public:
    TReplay(const std::string& path, TReplayClock& clock) : path_(path), clock_(clock) {
        std::filesystem::remove(path);
        std::filesystem::remove(JournalPathOf(path));
        storage_ = StorageFactory().OpenStorage(0, 0, "file://" + path, "", std::string("mode=create; ") + kParams);
        Ref<IStorageTransaction> tr = storage_->StartTransaction();
        {
            Ref<IVirtualAtom> nodesAtom;
            Ref<TNodeCollection> nodes = TNodeCollection::Create(tr, nodesAtom);
            tr->OpenRootAtom()->SetLink(kNodesLink, nodesAtom);
        }
        tr->Commit();
    }

    // Records hits in transactions of batch requests (1: a durable commit
    // per request); returns the seconds taken.
    double Record(const std::vector<synthetic::THit>& hits, size_t from, size_t to, size_t batch) {
        double start = Seconds();
        for (size_t i = from; i < to;) {
            Ref<IStorageTransaction> tr = storage_->StartTransaction();
            {
                Ref<TNodeCollection> nodes = TNodeCollection::Open(tr->OpenRootAtom()->OpenLink(kNodesLink));
                for (size_t end = std::min(to, i + batch); i < end; ++i) {
                    const synthetic::THit& h = hits[i];
                    clock_.now = h.When;
                    nodes->RecordNodeHit(h.Path, h.IP, h.When, true, h.Referrer, h.PrevNode, h.SessionRef,
                                         h.NewVisit, h.IsEntry, h.IsExit, h.NewDay, h.NewVisitor, "");
                    nodes->RecordSiteHit(h.IP, h.Referrer, h.When, h.PrevNode, h.SessionRef, h.SiteNewVisit,
                                         h.IsEntry, h.IsExit, h.NewDay, h.SiteNewVisitor, "");
                }
            }
            tr->Commit();
        }
        recorded_ += to - from;
        return Seconds() - start;
    }

    uint64_t FileBytes() const { return std::filesystem::file_size(path_); }
    uint64_t Recorded() const { return recorded_; }

private:
    std::string path_;
    TReplayClock& clock_;
    Ref<IVirtualStorage> storage_;
    uint64_t recorded_ = 0;
};

void PrintRow(const char* what, int day, size_t hits, double seconds, uint64_t grown, uint64_t fileBytes,
              uint64_t recorded) {
    std::printf("%-22s day %5d  %7zu hits  %9.1f hits/s  %8.1f us/hit  %8.1f B/hit today  %8.1f B/hit overall\n",
                what, day, hits, hits / seconds, seconds / hits * 1e6, double(grown) / hits,
                double(fileBytes) / recorded);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    TOptions o = ParseOptions(argc, argv);
    TReplayClock clock;
    SetClock(&clock);
    synthetic::TSiteShape shape;  // 8 x 4 x 5: 200 nodes, 50 hosts
    shape.VisitorsPerDay = o.visitors;
    synthetic::TSiteGenerator site(shape);
    const int32_t firstDay = int32_t(EncodeDateTime(2024, 1, 1));
    clock.now = firstDay;
    TReplay replay(o.db, clock);
    const std::set<int> checkpoints{1, 10, 100, 1000, o.days};
    std::printf("database %s, %zu nodes, %d visitors a day, %d hits each\n", o.db.c_str(), site.Paths().size(),
                shape.VisitorsPerDay, shape.HitsPerVisitor);

    double firstCost = 0, lastCost = 0, buildSeconds = 0;
    for (int d = 1; d <= o.days; ++d) {
        std::vector<synthetic::THit> hits = site.Day(firstDay + d - 1);
        uint64_t before = replay.FileBytes();
        if (checkpoints.count(d)) {
            double s = replay.Record(hits, 0, hits.size(), 1);
            PrintRow("durable commit per hit", d, hits.size(), s, replay.FileBytes() - before, replay.FileBytes(),
                     replay.Recorded());
            if (firstCost == 0) firstCost = s / hits.size();
            lastCost = s / hits.size();
        } else {
            double s = replay.Record(hits, 0, hits.size(), hits.size());
            buildSeconds += s;
            if (d == 2 || d == 11 || d == 101 || d == 999)
                PrintRow("one commit per day", d, hits.size(), s, replay.FileBytes() - before, replay.FileBytes(),
                         replay.Recorded());
        }
    }
    std::printf("per-hit cost at day %d / day 1: %.2f (target <= 1.30); %.0f s of batched days\n", o.days,
                lastCost / firstCost, buildSeconds);

    if (o.bigVisitors > 0) {
        std::vector<synthetic::THit> hits = site.Day(firstDay + o.days, o.bigVisitors);
        size_t sample = std::min(hits.size(), size_t(std::max(o.durableSample, 1)));
        uint64_t before = replay.FileBytes();
        double s = replay.Record(hits, 0, hits.size() - sample, 1000);
        PrintRow("big day, 1000 per commit", o.days + 1, hits.size() - sample, s, replay.FileBytes() - before,
                 replay.FileBytes(), replay.Recorded());
        before = replay.FileBytes();
        s = replay.Record(hits, hits.size() - sample, hits.size(), 1);
        PrintRow("big day, durable, last", o.days + 1, sample, s, replay.FileBytes() - before, replay.FileBytes(),
                 replay.Recorded());
    }
    std::printf("database bytes %llu for %llu hits\n", (unsigned long long)replay.FileBytes(),
                (unsigned long long)replay.Recorded());
    SetClock(nullptr);
    return 0;
}
