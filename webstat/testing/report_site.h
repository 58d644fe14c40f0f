// A report program's directory for tests, and report requests answered
// in-process by the real module (TMainM) as the web server would have them
// answered:
//
//   DIR/cgi-bin/tlvxstat       the program's path (no file: argv[0] only)
//   DIR/cgi-bin/tlvx2.conf     counter "site": DIR/site.orv, images DIR/images
//   DIR/cgi-bin/tlvxstat.orv   the same history again, for ids without a block
//   DIR/site.orv               a copy of the fixture database
//   DIR/images/                the static pictures
//
// Requests run at FixtureNow() with a fixed clock, three hours east of GMT,
// unless a test sets another moment or offset.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/cgi_environment.h"
#include "platform/testing/temp_dir.h"
#include "webstat/testing/report_fixtures.h"

namespace tlvx::test {

// The reply of one request, split as a web server reads a CGI reply.
struct TReportAnswer {
    int ExitCode = 0;  // what RunCgi returned: 1 after an escaped exception
    std::string Out;   // the whole CGI output
    std::string Err;   // what the program wrote to standard error
    int Status = 0;    // from "Status:", 200 when absent
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;

    // The first header of that name (any letter case), or "".
    std::string Header(const std::string& name) const;
};

// Splits a CGI reply; a reply without a blank line after its headers (the
// console road) is all body with status 0.
TReportAnswer ParseCgiReply(std::string out);

// The variables of a GET request of a web server for query: the CGI ones,
// SCRIPT_NAME /cgi-bin/tlvxstat, HTTP_HOST kFixtureHost, REMOTE_ADDR.
TMapEnvironment ReportRequestEnvironment(const std::string& query);

// Runs one request of the report program whose path is program through
// TMainM in this process, as tlvxstat's main does.
TReportAnswer RunReportInProcess(const std::vector<std::string>& args, const ICgiEnvironment& env);

inline constexpr const char* kFixtureId = "site";

class TReportSite {
public:
    explicit TReportSite(TReportFixture fixture);
    // The same directory over a copy of a database file of one's own.
    explicit TReportSite(const std::string& databaseFile);
    TReportSite(const TReportSite&) = delete;
    TReportSite& operator=(const TReportSite&) = delete;

    const std::string& Dir() const { return dir_.Path(); }
    std::string Program() const { return Dir() + "/cgi-bin/tlvxstat"; }
    std::string Database() const { return Dir() + "/site.orv"; }
    std::string DefaultDatabase() const { return Dir() + "/cgi-bin/tlvxstat.orv"; }
    std::string Images() const { return Dir() + "/images"; }
    std::string ConfFile() const { return Dir() + "/cgi-bin/tlvx2.conf"; }
    std::string AccessFile() const { return Dir() + "/cgi-bin/.tlvx2access"; }

    // Replaces the configuration; the usual one is StandardConf().
    void WriteConf(const std::string& text) const;
    std::string StandardConf() const;

    // The minutes to add to local time to get GMT (-180 unless set).
    void SetClockBias(int32_t biasMinutes) { bias_ = biasMinutes; }
    // The moment requests run at (FixtureNow() unless set).
    void SetNow(double now) { now_ = now; }

    // A GET request with query; extra variables set or replace the usual
    // ones (an empty value is set empty).
    TReportAnswer Get(const std::string& query,
                      const std::map<std::string, std::string>& extra = {}) const;

private:
    TTestTempDir dir_;
    int32_t bias_ = -180;
    double now_ = FixtureNow();
};

// The bytes of a file ("" when it is missing).
std::string FileBytes(const std::string& path);

}  // namespace tlvx::test
