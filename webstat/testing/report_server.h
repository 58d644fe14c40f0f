// Both programs as real CGI processes under lighttpd on 127.0.0.1, for the
// end-to-end tests that treat the report as a site owner does: hits sent to
// tlvxcount, pages read from tlvxstat, in a browser or over plain HTTP.
//
//   DIR/www/cgi-bin/tlvxcount, tlvxstat   the test-only builds whose clock
//                                         is the file DIR/clock
//   DIR/www/cgi-bin/tlvx2.conf            counter "site": DATA/site.orv,
//                                         pictures DIR/images
//   DIR/images/                           the static pictures
//
// DATA is a directory in memory where there is one: the tests count and
// report, they do not measure syncs.
//
// The server trusts X-Forwarded-For from 127.0.0.1 (mod_extforward), as a
// server behind a proxy does, so that a test can send each hit from the
// client address it chooses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/testing/http_client.h"
#include "platform/testing/lighttpd.h"
#include "webstat/testing/report_fixtures.h"

namespace tlvx::test {

class TReportServer {
public:
    // With a fixture, its database is copied in and the clock stands at
    // FixtureNow(); without, there is no database until Install.
    explicit TReportServer(std::optional<TReportFixture> fixture);

    // Local time and bias (minutes to add to get GMT) of the next requests.
    void SetClock(double now, int32_t biasMinutes = -180);
    // Creates the database from the console (tlvxcount -INSTALL site) at
    // the clock's time; false when the program did not report success.
    bool Install();

    // The Host header of the next requests (the site's own host to both
    // programs); 127.0.0.1 unless set.
    void SetHost(const std::string& host) { host_ = host; }

    // A request to tlvxcount / tlvxstat with query (and extra header lines,
    // each ending in CR LF), answered over HTTP.
    THttpReply Count(const std::string& query, const std::string& headers = "");
    THttpReply Report(const std::string& query, const std::string& headers = "");
    // The address of a report page for a browser.
    std::string ReportUrl(const std::string& query) const;

    std::string Database() const { return data_.Path() + "/site.orv"; }
    std::string Images() const { return server_.Dir() + "/images"; }
    std::string ErrorLog() const { return server_.ErrorLog(); }
    uint16_t Port() const { return server_.Port(); }

private:
    std::string ClockFile() const { return server_.Dir() + "/clock"; }

    TTestTempDir data_{MemoryTempBase()};
    TLighttpd server_;
    std::string count_;
    std::string host_ = "127.0.0.1";
};

inline constexpr const char* kServerSiteId = "site";

}  // namespace tlvx::test
