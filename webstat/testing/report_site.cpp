#include "webstat/testing/report_site.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "model/error_notes.h"
#include "platform/text.h"
#include "platform/cgi_run.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "webstat/main_module.h"
#include "webstat/static_images.h"

namespace tlvx::test {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string TReportAnswer::Header(const std::string& name) const {
    for (const auto& [n, v] : Headers)
        if (SameText(n, name)) return v;
    return "";
}

TReportAnswer ParseCgiReply(std::string out) {
    TReportAnswer answer;
    answer.Out = out;
    const size_t end = out.find("\r\n\r\n");
    if (end == std::string::npos) {
        answer.Body = std::move(out);
        return answer;
    }
    answer.Status = 200;
    answer.Body = out.substr(end + 4);
    for (size_t pos = 0; pos < end;) {
        size_t next = out.find("\r\n", pos);
        const std::string line = out.substr(pos, next - pos);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t v = colon + 1;
            while (v < line.size() && line[v] == ' ') ++v;
            answer.Headers.emplace_back(line.substr(0, colon), line.substr(v));
        }
        pos = next + 2;
    }
    if (const std::string status = answer.Header("Status"); !status.empty())
        answer.Status = std::stoi(status.substr(0, 3));
    return answer;
}

TMapEnvironment ReportRequestEnvironment(const std::string& query) {
    TMapEnvironment env;
    env.Set("GATEWAY_INTERFACE", "CGI/1.1");
    env.Set("REQUEST_METHOD", "GET");
    env.Set("QUERY_STRING", query);
    env.Set("SCRIPT_NAME", "/cgi-bin/tlvxstat");
    env.Set("HTTP_HOST", std::string(kFixtureHost));
    env.Set("REMOTE_ADDR", "127.0.0.1");
    return env;
}

TReportAnswer RunReportInProcess(const std::vector<std::string>& args, const ICgiEnvironment& env) {
    // A fresh process: no notes from an earlier run.
    ResetErrorNotes();
    std::ostringstream out, err;
    int status = 1;
    // The program's warnings go to standard error: collect them with the
    // runner's own lines.
    std::streambuf* const stderrBuffer = std::cerr.rdbuf(err.rdbuf());
    try {
        TMainM module(args, out, env);
        std::istringstream noBody;
        status = RunCgi([&module](const TWebRequest& r, TWebResponse& w) { module.MainItemAction(r, w); },
                        env, &noBody, out, err);
    } catch (...) {
        std::cerr.rdbuf(stderrBuffer);
        throw;
    }
    std::cerr.rdbuf(stderrBuffer);
    TReportAnswer answer = ParseCgiReply(out.str());
    answer.ExitCode = status;
    answer.Err = err.str();
    return answer;
}

TReportSite::TReportSite(TReportFixture fixture) : TReportSite(FixtureDatabase(fixture)) {}

TReportSite::TReportSite(const std::string& databaseFile) {
    namespace fs = std::filesystem;
    fs::create_directories(Dir() + "/cgi-bin");
    fs::create_directories(Images());
    fs::copy_file(databaseFile, Database());
    fs::copy_file(databaseFile, DefaultDatabase());
    WriteStaticImages(Images());
    WriteConf(StandardConf());
}

std::string TReportSite::StandardConf() const {
    return "HostInterval=720\n"
           "<Base:site>\n"
           "DataBaseName=" + Database() + "\n"
           "ImagesDirectory=" + Images() + "\n"
           "SiteName=<b>Test site</b>\n"
           "SiteURL=www.mysite.example,The test site\n"
           "WebMasterMail=webmaster@mysite.example,Webmaster\n"
           "ShowServerTime=1\n"
           "</Base>\n";
}

void TReportSite::WriteConf(const std::string& text) const { WriteFile(ConfFile(), text); }

TReportAnswer TReportSite::Get(const std::string& query, const std::map<std::string, std::string>& extra) const {
    TMapEnvironment env = ReportRequestEnvironment(query);
    for (const auto& [name, value] : extra) env.Set(name, value);
    TSettableClock clock(now_, bias_);
    IClock* previous = &Clock();
    SetClock(&clock);
    TReportAnswer answer;
    try {
        answer = RunReportInProcess({Program()}, env);
    } catch (...) {
        SetClock(previous);
        throw;
    }
    SetClock(previous);
    return answer;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return "";
    std::string bytes(size_t(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    return bytes;
}

}  // namespace tlvx::test
