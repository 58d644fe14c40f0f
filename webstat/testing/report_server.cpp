#include "webstat/testing/report_server.h"

#include <filesystem>

#include "platform/testing/file_clock.h"
#include "platform/testing/run_program.h"
#include "webstat/static_images.h"

namespace tlvx::test {

TReportServer::TReportServer(std::optional<TReportFixture> fixture) {
    namespace fs = std::filesystem;
    count_ = server_.InstallCgi(TLVX_TLVXCOUNT_CLOCKED, "tlvxcount");
    server_.InstallCgi(TLVX_TLVXSTAT_CLOCKED, "tlvxstat");
    fs::create_directories(Images());
    WriteStaticImages(Images());
    if (fixture) fs::copy_file(FixtureDatabase(*fixture), Database());
    WriteWholeFile(server_.CgiDir() + "/tlvx2.conf",
                   "<Base:site>\n"
                   "DataBaseName=" + Database() + "\n"
                   "ImagesDirectory=" + Images() + "\n"
                   "SiteName=Test site\n"
                   "ShowServerTime=1\n"
                   "</Base>\n");
    SetClock(FixtureNow());
    server_.AddModule("mod_setenv");
    server_.AddModule("mod_extforward");
    server_.AddConf(std::string("setenv.set-environment = (\"") + kClockFileVariable + "\" => \"" + ClockFile() +
                    "\")\n"
                    "extforward.forwarder = (\"127.0.0.1\" => \"trust\")\n"
                    "extforward.headers = (\"X-Forwarded-For\")\n");
    server_.Start();
}

void TReportServer::SetClock(double now, int32_t biasMinutes) { WriteClockFile(ClockFile(), now, biasMinutes); }

bool TReportServer::Install() {
    const TProgramRun run =
        RunProgram({count_, "-INSTALL", kServerSiteId}, {"PATH=/usr/bin:/bin", std::string(kClockFileVariable) + "=" + ClockFile()});
    return run.ExitCode == 0 && run.Out.find("successfully") != std::string::npos;
}

THttpReply TReportServer::Count(const std::string& query, const std::string& headers) {
    return HttpGet(server_.Port(), "/cgi-bin/tlvxcount?" + query, headers, host_);
}

THttpReply TReportServer::Report(const std::string& query, const std::string& headers) {
    return HttpGet(server_.Port(), "/cgi-bin/tlvxstat?" + query, headers, host_);
}

std::string TReportServer::ReportUrl(const std::string& query) const {
    return "http://127.0.0.1:" + std::to_string(server_.Port()) + "/cgi-bin/tlvxstat?" + query;
}

}  // namespace tlvx::test
