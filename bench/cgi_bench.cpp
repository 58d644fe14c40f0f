// Cost of one counter request as the web server pays it.
//
//   tlvxcount   records a hit (durable commit) and answers the counter image,
//               on a fresh database and on copies of grown ones
//   trivial C   prints a GIF header: the cost of a process and nothing else
//   SQLite      a comparable hit transaction, synchronous=FULL
//
// 1. Each program as a process started with a CGI environment, its answer
//    read from a pipe; interleaved rounds in one run, so that a busy machine
//    slows them alike.
// 2. How long a hit holds the database's exclusive lock: the hit road run in
//    this process over a file layer that times the writer's open until its
//    close.
// 3. Through lighttpd with ab at 1, 8 and 32 clients: requests per second,
//    p50 and p99, and the hits the database gained against the requests
//    answered.
//
//   cgi_bench [--requests N] [--ab N] [--db NAME=PATH]...
//   cgi_bench --load VISITORS [--crowd PATH] [--ab N] [--clients N] [--readers N]
//             [--programs DIR]
//
// --requests: processes per program in part 1 (default 400); --ab: requests
// per ab run (default 2000); --db: a grown database (made by bench_hits) to
// time beside the fresh one; it is copied, never written.
//
// --load runs part 4 alone: hits beside report readers. A database of
// VISITORS visitors (10000 is the target's), each with one hit through the
// counter's own road spread over the last 90 days, so that the visitor list
// of 90 days is the report's longest page; made once and kept at PATH when
// --crowd names one that is not there yet, copied from it when it is. Then,
// through lighttpd: that page alone; ab with --clients (default 64) hits
// alone; the same ab beside --readers (default 8) loops of the page, hits
// answered against hits stored, and the readers' page times and the pages
// that went without the database. --programs takes tlvxcount and tlvxstat
// from DIR instead of this build (to compare with another).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "counter/main_module.h"
#include "model/counter2.h"
#include "model/error_notes.h"
#include "platform/cgi_environment.h"
#include "platform/cgi_run.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/http_client.h"
#include "platform/testing/lighttpd.h"
#include "platform/testing/pass_through_file.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_dir.h"

namespace {

using tlvx::test::RunProgram;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Runs program with args and exactly the variables of env; returns its
// standard output. Raises when it fails.
std::string Run(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const tlvx::test::TProgramRun run = RunProgram(args, env);
    if (run.ExitCode != 0 || run.Out.empty()) throw std::runtime_error(args[0] + " failed: " + run.Err);
    return run.Out;
}

const char* const kAgent = "Mozilla/5.0 (X11; Linux x86_64)";

std::vector<std::pair<std::string, std::string>> CgiVariables(const std::string& query) {
    return {{"GATEWAY_INTERFACE", "CGI/1.1"}, {"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query},
            {"REMOTE_ADDR", "127.0.0.1"},     {"SERVER_PROTOCOL", "HTTP/1.1"},
            {"SCRIPT_NAME", "/cgi-bin/tlvxcount"}, {"HTTP_USER_AGENT", kAgent},
            {"HTTP_ACCEPT_LANGUAGE", "en,ru;q=0.5"},
            {"HTTP_REFERER", "http://www.example.com/index.html"}, {"PATH", "/usr/bin:/bin"}};
}

std::vector<std::string> CgiEnvironment(const std::string& query) {
    std::vector<std::string> env;
    for (const auto& [name, value] : CgiVariables(query)) env.push_back(name + "=" + value);
    return env;
}

// One counter database the benchmark hits: its conf block id and file.
struct TDatabase {
    std::string Name;
    std::string Path;
};

void WriteConf(const std::string& dir, const std::vector<TDatabase>& databases) {
    std::string conf;
    for (const TDatabase& d : databases)
        conf += "<Base:" + d.Name + ">\nDataBaseName=" + d.Path + "\n</Base>\n";
    tlvx::test::WriteWholeFile(dir + "/tlvx2.conf", conf);
}

int32_t StoredHits(const std::string& path) {
    tlvx::Ref<tlvx::ICounter2> counter;
    tlvx::OpenCounter2(path, counter, tlvx::TSkinStreams{}, true, "");
    if (!counter) throw std::runtime_error("cannot read " + path);
    return counter->GetSettings().TotalHits;
}

// --- 1. whole processes -----------------------------------------------------

struct TProgram {
    std::string Name;
    std::vector<std::string> Args;
    std::vector<std::string> Env;
    double Seconds = 0;
    double Ms(int n) const { return Seconds / n * 1000; }
};

void TimeProcesses(std::vector<TProgram>& programs, int requests) {
    for (auto& p : programs)
        for (int i = 0; i < 20; ++i) Run(p.Args, p.Env);  // warm caches and files
    const int rounds = 20;
    for (int r = 0; r < rounds; ++r)
        for (auto& p : programs) {
            const double t0 = Now();
            for (int i = 0; i < requests / rounds; ++i) Run(p.Args, p.Env);
            p.Seconds += Now() - t0;
        }
}

// --- 2. the lock's hold -----------------------------------------------------

// Passes everything to the real file system; times each writer's hold of the
// files it is told to watch, from the open that took the lock to the close.
class TLockTimer : public tlvx::IFileSystem {
public:
    explicit TLockTimer(std::vector<double>& holds) : holds_(holds) {}
    std::unique_ptr<tlvx::IFile> Open(const std::string& path, tlvx::TFileAccess access,
                                      tlvx::TDisposition disposition,
                                      const tlvx::TFileOptions& options) override {
        auto file = real_.Open(path, access, disposition, options);
        if (access != tlvx::TFileAccess::ReadWrite || !options.lock || path != watched_) return file;
        return std::make_unique<TTimedFile>(std::move(file), holds_);
    }
    bool Exists(const std::string& path) override { return real_.Exists(path); }
    bool Remove(const std::string& path) override { return real_.Remove(path); }
    void SyncDirectoryOf(const std::string& path) override { real_.SyncDirectoryOf(path); }
    void Watch(const std::string& path) { watched_ = path; }

private:
    class TTimedFile : public tlvx::test::TPassThroughFile {
    public:
        TTimedFile(std::unique_ptr<tlvx::IFile> inner, std::vector<double>& holds)
            : TPassThroughFile(std::move(inner)), holds_(holds), start_(Now()) {}
        ~TTimedFile() override {
            inner_.reset();
            holds_.push_back(Now() - start_);
        }

    private:
        std::vector<double>& holds_;
        double start_;
    };

    tlvx::IFileSystem& real_ = tlvx::RealFileSystem();
    std::vector<double>& holds_;
    std::string watched_;
};

// The holds of n hits on database, run in this process as tlvxcount runs them.
std::vector<double> LockHolds(const std::string& program, const TDatabase& database, int n) {
    std::vector<double> holds;
    TLockTimer timer(holds);
    timer.Watch(database.Path);
    tlvx::SetFileSystem(&timer);
    for (int i = 0; i < n; ++i) {
        tlvx::ResetErrorNotes();
        tlvx::TMapEnvironment env;
        for (const auto& [name, value] : CgiVariables("id=" + database.Name + "&node=main"))
            env.Set(name, value);
        std::ostringstream out, err;
        tlvx::TMain module({program}, out, env);
        tlvx::RunCgi([&](const tlvx::TWebRequest& r, tlvx::TWebResponse& w) {
            module.MainMainActionAction(r, w);
        }, env, nullptr, out, err);
        if (!err.str().empty()) std::fprintf(stderr, "%s", err.str().c_str());
    }
    tlvx::SetFileSystem(nullptr);
    return holds;
}

// --- 3. through lighttpd ----------------------------------------------------

struct TAbResult {
    double Rate = 0, P50 = 0, P99 = 0;
    long Complete = 0, Failed = 0;
};

// Runs ab and picks its figures out of the report.
TAbResult RunAb(uint16_t port, const std::string& path, int requests, int clients) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
    const auto run = RunProgram({"/usr/bin/ab", "-q", "-n", std::to_string(requests), "-c",
                                 std::to_string(clients), "-H", std::string("User-Agent: ") + kAgent, url},
                                {"PATH=/usr/bin:/bin"});
    if (run.ExitCode != 0) throw std::runtime_error("ab failed: " + run.Err);
    TAbResult r;
    std::istringstream lines(run.Out);
    for (std::string line; std::getline(lines, line);) {
        auto number = [&](const std::string& label) {
            return std::atof(line.c_str() + line.find(label) + label.size());
        };
        if (line.rfind("Requests per second:", 0) == 0) r.Rate = number(":");
        else if (line.rfind("Complete requests:", 0) == 0) r.Complete = long(number(":"));
        else if (line.rfind("Failed requests:", 0) == 0) r.Failed = long(number(":"));
        else if (line.rfind("  50%", 0) == 0) r.P50 = number("%");
        else if (line.rfind("  99%", 0) == 0) r.P99 = number("%");
    }
    return r;
}

struct TOptions {
    int Requests = 400;
    int AbRequests = 2000;
    std::vector<TDatabase> Grown;  // name = path to copy
    int LoadVisitors = 0;          // part 4 alone when > 0
    std::string Crowd;
    int Clients = 64;
    int Readers = 8;
    std::string Programs;
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--requests") o.Requests = std::max(20, std::atoi(value.c_str()));
        else if (name == "--ab") o.AbRequests = std::max(100, std::atoi(value.c_str()));
        else if (name == "--db" && value.find('=') != std::string::npos)
            o.Grown.push_back({value.substr(0, value.find('=')), value.substr(value.find('=') + 1)});
        else if (name == "--load") o.LoadVisitors = std::max(1, std::atoi(value.c_str()));
        else if (name == "--crowd") o.Crowd = value;
        else if (name == "--clients") o.Clients = std::max(1, std::atoi(value.c_str()));
        else if (name == "--readers") o.Readers = std::max(1, std::atoi(value.c_str()));
        else if (name == "--programs") o.Programs = value;
        else throw std::runtime_error("usage: cgi_bench [--requests N] [--ab N] [--db NAME=PATH]... | "
                                      "--load VISITORS [--crowd PATH] [--ab N] [--clients N] [--readers N] "
                                      "[--programs DIR]");
    }
    return o;
}

// --- 4. hits beside report readers ----------------------------------------

// One hit of a new visitor through the counter's road in this process, at
// the settable clock's time, committed durably as the program commits it.
void HitAsNewVisitor(const std::string& program, const std::string& id, const std::string& address) {
    tlvx::ResetErrorNotes();
    tlvx::TMapEnvironment env;
    for (const auto& [name, value] : CgiVariables("id=" + id + "&node=main")) env.Set(name, value);
    env.Set("REMOTE_ADDR", address);
    std::ostringstream out, err;
    tlvx::TMain module({program}, out, env);
    tlvx::RunCgi([&](const tlvx::TWebRequest& r, tlvx::TWebResponse& w) { module.MainMainActionAction(r, w); },
                 env, nullptr, out, err);
    if (!err.str().empty()) throw std::runtime_error("crowd hit: " + err.str());
}

// visitors visitors, one hit each, spread over the 90 days up to today; the
// database installed 90 days ago, so that the report offers the 90 days.
void BuildCrowd(const std::string& program, const TDatabase& crowd, int visitors) {
    const double today = std::trunc(tlvx::Clock().Now());
    tlvx::TSettableClock clock(today - 89);
    tlvx::SetClock(&clock);
    {
        const tlvx::TMapEnvironment console;
        std::ostringstream out, err;
        tlvx::TMain install({program, "-INSTALL", crowd.Name}, out, console);
        tlvx::RunCgi([&](const tlvx::TWebRequest& r, tlvx::TWebResponse& w) { install.MainMainActionAction(r, w); },
                     console, nullptr, out, err);
        if (out.str().find("successfully") == std::string::npos) throw std::runtime_error("crowd install failed");
    }
    const double t0 = Now();
    for (int v = 0; v < visitors; ++v) {
        clock.now = today - 89 + v % 90 + (v % 997) / 1440.0;
        const uint32_t a = 0x0A000000u + uint32_t(v) * 2654435761u % 0x00FFFFFFu;
        HitAsNewVisitor(program, crowd.Name, std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) +
                                                  "." + std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255));
    }
    tlvx::SetClock(nullptr);
    std::printf("  made %d visitors through the hit road in %.0f s\n", visitors, Now() - t0);
}

struct TReaderFigures {
    std::vector<double> Seconds;  // of each page answered
    int WithoutStatistics = 0;    // pages whose database could not be read
    int Failed = 0;               // no page at all
};

const char* const kHeaviestPage = "page=visitors&period=90";

// Reads the heaviest page over and over until stop is set.
void LoopReader(uint16_t port, const std::string& id, const std::atomic<bool>& stop, TReaderFigures& figures) {
    while (!stop) {
        const double t0 = Now();
        const tlvx::test::THttpReply reply =
            tlvx::test::HttpGet(port, "/cgi-bin/tlvxstat?id=" + id + "&" + kHeaviestPage);
        if (reply.Status != 200) ++figures.Failed;
        else if (reply.Body.find("No statistics yet") != std::string::npos) ++figures.WithoutStatistics;
        else figures.Seconds.push_back(Now() - t0);
    }
}

void PrintHits(const char* what, const TAbResult& r, int32_t stored) {
    std::printf("  %-34s %6.0f/s p50 %5.0f p99 %5.0f ms: %ld answered, %d stored, %ld lost\n", what, r.Rate,
                r.P50, r.P99, r.Complete, stored, r.Complete - long(stored));
}

void RunLoad(const TOptions& o) {
    tlvx::test::TLighttpd server;
    const std::string countFrom = o.Programs.empty() ? TLVX_TLVXCOUNT : o.Programs + "/tlvxcount";
    const std::string statFrom = o.Programs.empty() ? TLVX_TLVXSTAT : o.Programs + "/tlvxstat";
    const std::string counter = server.InstallCgi(countFrom, "tlvxcount");
    server.InstallCgi(statFrom, "tlvxstat");
    const TDatabase crowd{"crowd", server.Dir() + "/crowd.orv"};
    WriteConf(server.CgiDir(), {crowd});
    std::printf("4. hits beside readers of the 90-day visitor list:\n");
    if (!o.Crowd.empty() && std::filesystem::exists(o.Crowd)) {
        std::filesystem::copy_file(o.Crowd, crowd.Path);
    } else {
        BuildCrowd(counter, crowd, o.LoadVisitors);
        if (!o.Crowd.empty()) std::filesystem::copy_file(crowd.Path, o.Crowd);
    }
    std::printf("  database of %.1f MB\n", double(std::filesystem::file_size(crowd.Path)) / 1e6);
    server.Start();

    TReaderFigures alone;
    for (int i = 0; i < 5; ++i) {
        const double t0 = Now();
        const auto reply = tlvx::test::HttpGet(server.Port(), std::string("/cgi-bin/tlvxstat?id=crowd&") + kHeaviestPage);
        if (reply.Status != 200 || reply.Body.find("No statistics yet") != std::string::npos)
            throw std::runtime_error("the visitor list does not answer");
        alone.Seconds.push_back(Now() - t0);
    }
    std::printf("  the page alone: p50 %.0f ms (5 runs)\n", Percentile(alone.Seconds, 0.5) * 1000);

    const std::string hits = "/cgi-bin/tlvxcount?id=crowd&node=main";
    int32_t before = StoredHits(crowd.Path);
    const TAbResult solo = RunAb(server.Port(), hits, o.AbRequests, o.Clients);
    PrintHits(("ab -c " + std::to_string(o.Clients) + " hits alone").c_str(), solo, StoredHits(crowd.Path) - before);

    std::atomic<bool> stop{false};
    std::vector<TReaderFigures> figures(size_t(o.Readers));
    std::vector<std::thread> readers;
    for (auto& f : figures) readers.emplace_back([&, port = server.Port()] { LoopReader(port, "crowd", stop, f); });
    before = StoredHits(crowd.Path);
    const TAbResult busy = RunAb(server.Port(), hits, o.AbRequests, o.Clients);
    stop = true;
    for (auto& t : readers) t.join();
    PrintHits(("same beside " + std::to_string(o.Readers) + " readers").c_str(), busy,
              StoredHits(crowd.Path) - before);
    TReaderFigures all;
    for (const TReaderFigures& f : figures) {
        all.Seconds.insert(all.Seconds.end(), f.Seconds.begin(), f.Seconds.end());
        all.WithoutStatistics += f.WithoutStatistics;
        all.Failed += f.Failed;
    }
    std::printf("  the readers' pages meanwhile: %zu answered, p50 %.0f ms, max %.0f ms; %d without statistics, "
                "%d failed\n",
                all.Seconds.size(), Percentile(all.Seconds, 0.5) * 1000, Percentile(all.Seconds, 1.0) * 1000,
                all.WithoutStatistics, all.Failed);
    std::printf("  target: 0 lost beside the readers; every reader's page answered with its statistics\n");
}

void Target(const char* what, double value, double target) {
    std::printf("  %-40s %7.2fx  (target <= %.2fx) %s\n", what, value, target,
                value <= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const TOptions options = ParseOptions(argc, argv);
        if (options.LoadVisitors > 0) {
            RunLoad(options);
            return 0;
        }
        tlvx::test::TLighttpd server;
        const std::string counter = server.InstallCgi(TLVX_TLVXCOUNT, "tlvxcount");
        const std::string trivial = server.InstallCgi(TLVX_CGI_TRIVIAL, "trivial");
        const std::string sqlite = server.InstallCgi(TLVX_CGI_SQLITE, "sqlite");
        std::vector<TDatabase> databases = {{"fresh", server.Dir() + "/fresh.orv"}};
        for (const TDatabase& g : options.Grown) {
            databases.push_back({g.Name, server.Dir() + "/" + g.Name + ".orv"});
            std::filesystem::copy_file(g.Path, databases.back().Path);
            std::filesystem::permissions(databases.back().Path, std::filesystem::perms::owner_read |
                                                                    std::filesystem::perms::owner_write);
        }
        WriteConf(server.CgiDir(), databases);
        Run({counter, "-INSTALL", "fresh"}, {"PATH=/usr/bin:/bin"});

        // 1. whole processes
        std::vector<TProgram> programs;
        for (const TDatabase& d : databases)
            programs.push_back({"tlvxcount, " + d.Name, {counter}, CgiEnvironment("id=" + d.Name + "&node=main")});
        programs.push_back({"trivial C (GIF header)", {trivial}, CgiEnvironment("")});
        programs.push_back({"SQLite hit, synchronous=FULL", {sqlite}, CgiEnvironment("")});
        TimeProcesses(programs, options.Requests);
        const int n = (options.Requests / 20) * 20;
        std::printf("1. per request as a CGI process (%d each, interleaved):\n", n);
        for (const TProgram& p : programs) std::printf("  %-40s %8.3f ms\n", p.Name.c_str(), p.Ms(n));
        const TProgram& fresh = programs[0];
        const TProgram& trivialRun = programs[programs.size() - 2];
        const TProgram& sqliteRun = programs.back();
        Target("fresh hit / trivial C", fresh.Ms(n) / trivialRun.Ms(n), 1.5);
        Target("fresh hit / SQLite hit", fresh.Ms(n) / sqliteRun.Ms(n), 0.6);
        for (size_t i = 1; i < databases.size(); ++i)
            Target(("hit at " + databases[i].Name + " / fresh hit").c_str(),
                   programs[i].Ms(n) / fresh.Ms(n), 1.3);

        // 2. the lock's hold
        std::printf("2. exclusive lock held per hit (in-process hit road, 50 hits):\n");
        for (const TDatabase& d : databases) {
            const auto holds = LockHolds(counter, d, 50);
            std::printf("  %-40s p50 %7.3f ms  p99 %7.3f ms  (target <= 0.5 ms)\n", d.Name.c_str(),
                        Percentile(holds, 0.5) * 1000, Percentile(holds, 0.99) * 1000);
        }

        // 3. through lighttpd
        server.Start();
        std::printf("3. through lighttpd, ab -n %d:\n", options.AbRequests);
        for (int clients : {1, 8, 32}) {
            const TAbResult t = RunAb(server.Port(), "/cgi-bin/trivial", options.AbRequests, clients);
            const TAbResult s = RunAb(server.Port(), "/cgi-bin/sqlite", options.AbRequests, clients);
            std::printf("  c%-2d trivial C %7.0f/s p50 %4.0f p99 %5.0f ms | SQLite %7.0f/s p50 %4.0f p99 %5.0f ms\n",
                        clients, t.Rate, t.P50, t.P99, s.Rate, s.P50, s.P99);
            for (const TDatabase& d : databases) {
                const int32_t before = StoredHits(d.Path);
                const TAbResult c = RunAb(server.Port(), "/cgi-bin/tlvxcount?id=" + d.Name + "&node=main",
                                          options.AbRequests, clients);
                const int32_t stored = StoredHits(d.Path) - before;
                std::printf("      tlvxcount %-8s %7.0f/s p50 %4.0f p99 %5.0f ms, %ld answered, %d stored, "
                            "%ld lost; %.2fx trivial C, %.2fx SQLite\n",
                            d.Name.c_str(), c.Rate, c.P50, c.P99, c.Complete, stored,
                            c.Complete - long(stored), c.Rate / t.Rate, c.Rate / s.Rate);
            }
        }
        std::printf("  targets: c8 and c32 >= 0.90x trivial C; 0 lost at c32 on the largest database\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cgi_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
