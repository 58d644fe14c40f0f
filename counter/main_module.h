// TMain: the counter program's web module. One request per process: open
// the counter database the query's id names, record the hit, release the
// database, then answer once with the counter image, a one-pixel image or
// the empty body of a server-side include.
//
// Started by hand as "tlvxcount -INSTALL id" (any letter case) the program
// instead creates that database with the default skin and reports on the
// console. That road is refused under a web server: a CGI/1.1 server hands
// an ISINDEX query such as "?-INSTALL+7" to the program as arguments.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "model/program_start.h"
#include "platform/cgi_environment.h"
#include "platform/web_request.h"
#include "platform/web_response.h"

namespace tlvx {

// The lines the install road prints.
inline constexpr std::string_view kInstallDoneLine = "Tallyvex2 DataBase successfully created!";
inline constexpr std::string_view kInstallFailedLine = "Tallyvex DataBase NOT created!!!";

// The database file resolved for this run.
std::string& DataBaseFileName();

class TMain {
public:
    // args is the command line, args[0] the program as started; install
    // messages go to console; env tells whether a web server started us.
    TMain(std::vector<std::string> args, std::ostream& console, const ICgiEnvironment& env);
    TMain(const TMain&) = delete;
    TMain& operator=(const TMain&) = delete;
    ~TMain();

    // Resolves DataBaseFileName and opens the database into Counter. A
    // database file that does not exist is only created by the install
    // road; every other request leaves Counter empty and says why on
    // standard error.
    void OpenCounter(const std::string& id);
    // Drops the database: commit, or abort after a noted error. Never
    // raises.
    void ReleaseCounter() noexcept;
    // The one action. Sends the response itself, after the release; an
    // exception passes on after the release, unsent.
    void MainMainActionAction(const TWebRequest& request, TWebResponse& response);

    TBaseConf Conf;
    bool ConfLoaded = false;
    Ref<ICounter2> Counter;

private:
    void InstallRoad();
    void AnswerWithoutDatabase(const TWebRequest& request, TWebResponse& response);
    void RecordHit(const TWebRequest& request, TWebResponse& response);

    TProgramStart start_;
    std::ostream& console_;
};

}  // namespace tlvx
