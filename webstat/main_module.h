// TMainM: the report program's web module. One request per process, on one
// of three roads, in this order:
//
//  1. the console install road: "tlvxstat -install ID" (exactly so, and
//     only outside a web server) creates the counter's database with the
//     default skin and prints one line;
//  2. after the access check (".tlvx2access", which answers a refused user
//     403 before the configuration or the database is read), a request with
//     "img" is the image road: a stored GIF of the images directory by its
//     number "imgind", or one of the two pie charts drawn from the counter's
//     database, opened read-only;
//  3. every other request is the report road: the database opened
//     read-only, the panels prepared, the page of "page" built by its
//     builder from the page table, the database released, and the framed
//     page sent.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/program_start.h"
#include "platform/cgi_environment.h"
#include "platform/web_request.h"
#include "platform/web_response.h"
#include "webstat/report_context.h"

namespace tlvx {

// The lines of the install road.
inline constexpr std::string_view kReportInstallDoneLine = "Tallyvex2 DataBase successfully created!";
inline constexpr std::string_view kReportInstallFailedLine = "Tallyvex2 DataBase NOT created!!!";
// The answer to a user the access list refuses (status 403).
inline constexpr std::string_view kForbiddenBody = "<html><body><h1>Forbidden!</h1></body></html>";
// The content area of every page of a counter without a database (not
// installed yet, or an id nobody configured), or whose database cannot be
// opened now.
inline constexpr std::string_view kNoStatisticsNotice =
    "\r\n<center><h1>No statistics yet</h1></center>"
    "\r\n<p>This counter has no statistics to show yet: its database has not been created, "
    "or it cannot be read just now.</p>";

// How much of the preparation a road needs.
enum class TPreparation {
    Page,        // everything
    ImagesOnly,  // configuration and images directory: a stored picture
    Database,    // those and the database, no panels: a pie chart
};

class TMainM {
public:
    // args is the command line, args[0] the program as started; the install
    // line goes to console; env tells whether a web server started us.
    // Reads the style sheet ("test.css" beside the program replaces the
    // built-in one whole).
    TMainM(std::vector<std::string> args, std::ostream& console, const ICgiEnvironment& env);
    TMainM(const TMainM&) = delete;
    TMainM& operator=(const TMainM&) = delete;

    // The one action: the three roads above. Sends the response itself; an
    // exception of a page builder passes on after the page was sent.
    void MainItemAction(const TWebRequest& request, TWebResponse& response);
    // The image road: 404 with a short body for an imgind outside 1-13, a
    // file that is missing or not a regular file, or a pie of a counter
    // without a database. Lets the database go.
    void MainMGetDiagramItemAction(TReportContext& prepared, TWebResponse& response);
    // Configuration, images directory, database, links block and panels
    // for counter id, and the clock (prepare_request.cpp).
    TReportContext PrepareRequest(const TWebRequest& request, const std::string& id,
                                  TPreparation scope = TPreparation::Page) const;

private:
    bool IsInstallRoad() const;
    void InstallRoad(const TWebRequest& request);
    std::string BuildPageContent(const TReportContext& prepared, int32_t pageCode) const;
    void SendPage(TWebResponse& response, const TReportContext& prepared, int32_t pageCode,
                  std::string_view content) const;

    TProgramStart start_;
    std::ostream& console_;
    std::string styleSheet_;  // the text of the styles template
};

}  // namespace tlvx
