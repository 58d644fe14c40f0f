// Hit recording over a growing counter database.
//
// Replays a synthetic site (200 nodes three levels deep, 1,000 distinct
// visitors a day, 5 hits each, referrers from 50 hosts) for 1,000 days: one
// node hit and one site hit per request, through the counter database
// facade (OpenCounter2) over a storage file. Most days are recorded in one transaction per day to build
// the database quickly; the checkpoint days 1, 10, 100 and 1,000 record
// every request in its own transaction with a durable commit, and print
// requests per second and bytes of database per request. After the last day
// comes a day with 20,000 distinct visitors, whose last requests are again
// committed one by one.
//
//   bench_hits [--db PATH] [--days N] [--visitors N] [--big N] [--durable-sample N]
//   bench_hits --grown PATH --days N [--requests N]
//
// With --grown, PATH is a database already built by a run of --days N days:
// it records the first requests of the next day on it, each with its own
// durable commit, and prints the cost of one request and its phases.
//
// Each timed row is followed by the cost of its phases per request, and the
// reads of its open: system-level reads of the database files (and their
// bytes) from the start of the open to the first hit.
//
// The database is left at PATH for bench_queries.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "model/counter2.h"
#include "model/error_notes.h"
#include "model/testing/synthetic_site.h"
#include "platform/clock.h"
#include "platform/stream.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/pass_through_file.h"
#include "raster/default_skin.h"
#include "store/journaled_file.h"

using namespace tlvx;

namespace {

// Passes everything to the real file system, counting the reads.
class TReadCounter : public IFileSystem {
public:
    uint64_t reads = 0, bytes = 0;

    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access, TDisposition disposition,
                                const TFileOptions& options) override {
        return std::make_unique<TCountedFile>(real_.Open(path, access, disposition, options), *this);
    }
    bool Exists(const std::string& path) override { return real_.Exists(path); }
    bool Remove(const std::string& path) override { return real_.Remove(path); }
    void SyncDirectoryOf(const std::string& path) override { real_.SyncDirectoryOf(path); }

private:
    class TCountedFile : public test::TPassThroughFile {
    public:
        TCountedFile(std::unique_ptr<IFile> inner, TReadCounter& counter)
            : TPassThroughFile(std::move(inner)), counter_(counter) {}
        size_t ReadAt(void* b, size_t n, uint64_t p) override {
            ++counter_.reads;
            counter_.bytes += n;
            return inner_->ReadAt(b, n, p);
        }

    private:
        TReadCounter& counter_;
    };
    IFileSystem& real_ = RealFileSystem();
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
    std::string grown;         // an existing database to time single requests on
    int requests = 20;
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
        else if (key == "--grown") o.grown = value;
        else if (key == "--requests") o.requests = std::atoi(value.c_str());
        else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            std::exit(2);
        }
    }
    return o;
}

// The counter database as the counter program reaches it: every opening is
// an OpenCounter2, which opens the file, starts the request's transaction and
// commits it (durably) when released.
class TReplay {
public:
    TReplay(const std::string& path, TSettableClock& clock, bool fresh = true) : path_(path), clock_(clock) {
        if (fresh) {
            std::filesystem::remove(path);
            std::filesystem::remove(JournalPathOf(path));
        }
        streams_[0] = TMemoryStream(BmpBytes(DrawDefaultBackground()));
        for (int d = 0; d < 10; ++d) streams_[size_t(1 + d)] = TMemoryStream(BmpBytes(DrawDefaultDigit(d)));
        for (size_t i = 0; i < skins_.size(); ++i) skins_[i] = &streams_[i];
        Ref<ICounter2> counter = Open();
    }

    // Records hits in openings of batch requests each (1: one opening and
    // durable commit per request, as the counter program does); returns the
    // seconds taken.
    double Record(const std::vector<synthetic::THit>& hits, size_t from, size_t to, size_t batch) {
        double start = Seconds();
        opening_ = recording_ = commit_ = 0;
        openReads_ = openBytes_ = opens_ = 0;
        for (size_t i = from; i < to;) {
            double t0 = Seconds();
            reads_.reads = reads_.bytes = 0;
            SetFileSystem(&reads_);
            Ref<ICounter2> counter = Open();
            Ref<INodeCollection> nodes = counter->GetNodes();
            SetFileSystem(nullptr);
            openReads_ += reads_.reads;
            openBytes_ += reads_.bytes;
            double t1 = Seconds();
            for (size_t end = std::min(to, i + batch); i < end; ++i) {
                const synthetic::THit& h = hits[i];
                clock_.now = h.When;
                nodes->RecordNodeHit(h.Path, true, h.NodeFacts());
                nodes->RecordSiteHit(h.SiteFacts());
            }
            nodes.reset();
            double t2 = Seconds();
            counter.reset();  // the commit
            double t3 = Seconds();
            opening_ += t1 - t0, recording_ += t2 - t1, commit_ += t3 - t2;
            ++opens_;
            if (ErrorFlag()) {
                std::fprintf(stderr, "a hit was noted as failed; its request was rolled back\n");
                std::exit(1);
            }
        }
        recorded_ += to - from;
        return Seconds() - start;
    }

    uint64_t FileBytes() const { return std::filesystem::file_size(path_); }
    uint64_t Recorded() const { return recorded_; }
    // Seconds of the last Record spent opening, recording and committing.
    void PrintPhases(size_t hits) const {
        std::printf("%-22s open %.1f us, record %.1f us, commit %.1f us per hit\n", "", opening_ / hits * 1e6,
                    recording_ / hits * 1e6, commit_ / hits * 1e6);
        std::printf("%-22s open reads %.1f (%.1f KiB) per open\n", "", double(openReads_) / opens_,
                    double(openBytes_) / opens_ / 1024);
    }

private:
    static std::vector<uint8_t> BmpBytes(const TPaintRect& rect) {
        TMemoryStream s;
        rect.SaveToStream(s);
        return s.Bytes();
    }
    Ref<ICounter2> Open() {
        Ref<ICounter2> counter;
        OpenCounter2(path_, counter, skins_, false, "id=1");
        if (!counter) {
            std::fprintf(stderr, "cannot open the counter database %s\n", path_.c_str());
            std::exit(1);
        }
        return counter;
    }

    std::string path_;
    TSettableClock& clock_;
    std::array<TMemoryStream, 11> streams_;
    TSkinStreams skins_{};
    uint64_t recorded_ = 0;
    double opening_ = 0, recording_ = 0, commit_ = 0;
    TReadCounter reads_;
    uint64_t openReads_ = 0, openBytes_ = 0, opens_ = 0;
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
    TSettableClock clock;
    SetClock(&clock);
    synthetic::TSiteShape shape;  // 8 x 4 x 5: 200 nodes, 50 hosts
    shape.VisitorsPerDay = o.visitors;
    synthetic::TSiteGenerator site(shape);
    const int32_t firstDay = int32_t(EncodeDateTime(2024, 1, 1));
    clock.now = firstDay;
    if (!o.grown.empty()) {
        std::vector<synthetic::THit> hits;
        for (int d = 1; d <= o.days + 1; ++d) hits = site.Day(firstDay + d - 1);  // the generator's state
        size_t n = std::min(hits.size(), size_t(std::max(o.requests, 1)));
        TReplay grown(o.grown, clock, false);
        uint64_t before = grown.FileBytes();
        double s = grown.Record(hits, 0, n, 1);
        const uint64_t after = grown.FileBytes();  // freeing at the end can shorten the file
        PrintRow("grown, durable", o.days + 1, n, s, after > before ? after - before : 0, after, n);
        grown.PrintPhases(n);
        SetClock(nullptr);
        return 0;
    }
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
            replay.PrintPhases(hits.size());
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
        replay.PrintPhases(sample);
    }
    std::printf("database bytes %llu for %llu hits\n", (unsigned long long)replay.FileBytes(),
                (unsigned long long)replay.Recorded());
    SetClock(nullptr);
    return 0;
}
