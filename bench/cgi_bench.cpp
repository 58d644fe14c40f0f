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
//
// --requests: processes per program in part 1 (default 400); --ab: requests
// per ab run (default 2000); --db: a grown database (made by bench_hits) to
// time beside the fresh one; it is copied, never written.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "counter/main_module.h"
#include "model/counter2.h"
#include "model/error_notes.h"
#include "platform/cgi_environment.h"
#include "platform/cgi_run.h"
#include "platform/file.h"
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
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--requests") o.Requests = std::max(20, std::atoi(value.c_str()));
        else if (name == "--ab") o.AbRequests = std::max(100, std::atoi(value.c_str()));
        else if (name == "--db" && value.find('=') != std::string::npos)
            o.Grown.push_back({value.substr(0, value.find('=')), value.substr(value.find('=') + 1)});
        else throw std::runtime_error("usage: cgi_bench [--requests N] [--ab N] [--db NAME=PATH]...");
    }
    return o;
}

void Target(const char* what, double value, double target) {
    std::printf("  %-40s %7.2fx  (target <= %.2fx) %s\n", what, value, target,
                value <= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const TOptions options = ParseOptions(argc, argv);
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
            std::printf("  %-40s p50 %7.3f ms  p99 %7.3f ms  (target <= 1 ms)\n", d.Name.c_str(),
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
