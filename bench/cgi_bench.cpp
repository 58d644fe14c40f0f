// Cost of one counter request as the web server pays it: a process started
// with a CGI environment whose answer is read from a pipe.
//
//   tlvxcount   records a hit (durable commit) and answers the counter image
//   trivial C   prints a GIF header: the cost of a process and nothing else
//   SQLite      a comparable hit transaction, synchronous=FULL
//
// The three are run in interleaved rounds in the same run, so a busy machine
// slows them alike. Then requests per second of tlvxcount through lighttpd
// with 1 and 8 clients.
//
//   cgi_bench [requests per program, default 400] [seconds per lighttpd run, default 3]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/http_client.h"
#include "platform/testing/lighttpd.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_dir.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs program with args and exactly the variables of env; returns its
// standard output. Raises when it fails.
std::string Run(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const tlvx::test::TProgramRun run = tlvx::test::RunProgram(args, env);
    if (run.ExitCode != 0 || run.Out.empty()) throw std::runtime_error(args[0] + " failed");
    return run.Out;
}

std::vector<std::string> CgiEnvironment(const std::string& query) {
    return {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET", "QUERY_STRING=" + query,
            "REMOTE_ADDR=127.0.0.1", "SERVER_PROTOCOL=HTTP/1.1", "SCRIPT_NAME=/cgi-bin/tlvxcount",
            "HTTP_USER_AGENT=Mozilla/5.0 (X11; Linux x86_64)", "HTTP_ACCEPT_LANGUAGE=en,ru;q=0.5",
            "HTTP_REFERER=http://www.example.com/index.html", "PATH=/usr/bin:/bin"};
}

void WriteConf(const std::string& dir, const std::string& database) {
    tlvx::test::WriteWholeFile(dir + "/tlvx2.conf", "<Base:bench>\nDataBaseName=" + database +
                                                        "\n</Base>\n");
}

void Install(const std::string& program) {
    std::string out = Run({program, "-INSTALL", "bench"}, {"PATH=/usr/bin:/bin"});
    if (out.find("successfully") == std::string::npos)
        throw std::runtime_error("install failed: " + out);
}

// Requests per second of n clients, each sending one request after the
// other for the given seconds.
double Rate(uint16_t port, int clients, double seconds) {
    std::atomic<long> done{0}, failed{0};
    std::atomic<long> slowestUs{0};
    std::vector<std::thread> threads;
    const double end = Now() + seconds;
    const double start = Now();
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            while (Now() < end) {
                const double t0 = Now();
                auto reply = tlvx::test::HttpGet(port, "/cgi-bin/tlvxcount?id=bench&node=main",
                                                 "User-Agent: Mozilla/5.0\r\n");
                const long us = long((Now() - t0) * 1e6);
                for (long seen = slowestUs; us > seen && !slowestUs.compare_exchange_weak(seen, us);) {
                }
                // 799 bytes is the pixel of a request whose database open
                // gave up waiting for the lock: a lost hit.
                if (reply.Status == 200 && reply.Header("Content-Type") == "image/gif" &&
                    reply.Body.size() != 799)
                    ++done;
                else
                    ++failed;
            }
        });
    for (auto& t : threads) t.join();
    double elapsed = Now() - start;
    const double rate = double(done) / elapsed;
    std::printf("  %d client%s %8.0f requests/s, slowest %.1f ms, %ld hits lost\n", clients,
                clients > 1 ? "s" : " ", rate, slowestUs / 1000.0, failed.load());
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::atoi(argv[1]) : 400;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    try {
        tlvx::TTestTempDir dir;
        const std::string counter = dir.File("tlvxcount");
        std::filesystem::copy_file(TLVX_TLVXCOUNT, counter);
        WriteConf(dir.Path(), dir.File("bench.orv"));
        Install(counter);
        const std::string sqliteDb = dir.File("bench.sqlite");

        struct TProgram {
            const char* Name;
            std::vector<std::string> Args;
            double Seconds = 0;
        };
        std::vector<TProgram> programs = {
            {"tlvxcount (hit + image)", {counter}},
            {"trivial C (GIF header)", {TLVX_CGI_TRIVIAL}},
            {"SQLite (hit, synchronous=FULL)", {TLVX_CGI_SQLITE, sqliteDb}},
        };
        const auto env = CgiEnvironment("id=bench&node=main");
        for (auto& p : programs)
            for (int i = 0; i < 20; ++i) Run(p.Args, env);  // warm caches and files
        const int rounds = 20;
        for (int r = 0; r < rounds; ++r)
            for (auto& p : programs) {
                const double t0 = Now();
                for (int i = 0; i < requests / rounds; ++i) Run(p.Args, env);
                p.Seconds += Now() - t0;
            }
        const int n = (requests / rounds) * rounds;
        std::printf("per request, %d requests each, as a CGI process:\n", n);
        double ms[3];
        for (int i = 0; i < 3; ++i) {
            ms[i] = programs[size_t(i)].Seconds / n * 1000;
            std::printf("  %-32s %8.3f ms\n", programs[size_t(i)].Name, ms[i]);
        }
        std::printf("  tlvxcount / trivial C  %6.2fx (target <= 2.0x)\n", ms[0] / ms[1]);
        std::printf("  tlvxcount / SQLite     %6.2fx (target <= 0.5x)\n", ms[0] / ms[2]);

        tlvx::test::TLighttpd server;
        const std::string served = server.InstallCgi(TLVX_TLVXCOUNT, "tlvxcount");
        WriteConf(server.CgiDir(), server.Dir() + "/bench.orv");
        Install(served);
        server.Start();
        std::printf("through lighttpd (hit + image, %.0f s each):\n", seconds);
        for (int clients : {1, 8}) Rate(server.Port(), clients, seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cgi_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
