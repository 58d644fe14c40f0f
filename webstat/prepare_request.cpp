// TMainM::PrepareRequest: what every report request needs before its page.
#include <iostream>

#include "model/conf_parser.h"
#include "model/counter_install.h"
#include "model/host.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/program_path.h"
#include "webstat/main_module.h"
#include "webstat/panels.h"
#include "webstat/server_values.h"

namespace tlvx {
namespace {

// The address the request was made to, for a links block without a
// configuration: the server's URL variable when it sets one, otherwise
// built from the host and the script name, so that its host is the
// request's.
std::string RequestUrl(const TWebRequest& request) {
    if (!request.URL().empty()) return request.URL();
    return "http://" + request.Host() + request.ScriptName();
}

void SettleImagesDirectory(TReportContext& prepared, const TProgramStart& start) {
    const std::string base = ProgramBaseName(start.ProgramPath());
    // An empty ImagesDirectory would name the root of the file system.
    const bool configured = prepared.ConfLoaded && !prepared.Id.empty();
    if (configured && !prepared.Conf.ImagesDirectory.empty()) {
        prepared.ImagesDirectory = prepared.Conf.ImagesDirectory;
        if (prepared.ImagesDirectory.back() != '/') prepared.ImagesDirectory += '/';
    } else {
        prepared.ImagesDirectory = start.ProgramDir() + base + "/";
    }
    prepared.ImagesURL = configured ? prepared.Conf.ImagesURL : base;
}

void WarnNoStatistics(const TReportContext& prepared, const std::string& why) {
    std::cerr << "warning: no statistics shown: the counter database " << prepared.DataBasePath << " " << why
              << "\n";
}

}  // namespace

// A report request never creates a file: a database that is not there is
// only made from the console. The remains of an install that was cut off
// count as no database there, so that one install run clears them and
// creates the database. A database that is there but cannot be read is
// said so on stderr as well as in the page's notice; a missing one is no
// failure.
void TMainM::OpenDatabase(TReportContext& prepared) const {
    const bool install = start_.IsConsoleInstall();
    prepared.DataBasePath = CounterDatabasePath(start_.ProgramPath(), prepared.ConfLoaded, prepared.Conf, prepared.Id);
    try {
        if (install && !CounterDatabaseExists(prepared.DataBasePath)) {
            CreateCounterDatabase(prepared.DataBasePath, start_.DefSkin(), "", prepared.Counter);
        } else if (FileSystem().Exists(prepared.DataBasePath)) {
            OpenCounter2(prepared.DataBasePath, prepared.Counter, TSkinStreams{}, true, "");
            if (!prepared.Counter) WarnNoStatistics(prepared, "could not be opened: " + LastOpenCounter2Failure());
        }
    } catch (const EPlatformError& e) {
        WarnNoStatistics(prepared, "could not be checked: " + std::string(e.what()));
    }
}

TReportContext TMainM::PrepareRequest(const TWebRequest& request, const std::string& id, TPreparation scope) const {
    TReportContext prepared;
    prepared.QueryFields = request.QueryFields();
    prepared.Now = Clock().Now();
    prepared.Id = id;
    // Without a usable block the defaults beside the program serve.
    prepared.ConfLoaded = LoadConfBlock(start_.ProgramDir() + "tlvx2.conf", id, prepared.Conf) == TConfLookup::Loaded;
    prepared.ScriptName = request.ScriptName();
    prepared.Host = NormaliseHost(request.Host());
    // Before the database: the image road needs no database, and must work
    // while the database is missing or held by a writer.
    SettleImagesDirectory(prepared, start_);
    if (scope == TPreparation::ImagesOnly) return prepared;

    OpenDatabase(prepared);
    if (start_.IsConsoleInstall() || !prepared.Counter || scope == TPreparation::Database) return prepared;

    prepared.LinksBlock = BuildLinksBlock(prepared.ConfLoaded, prepared.Conf, prepared.Host, RequestUrl(request));
    prepared.ImportantPanel = BuildImportantPanel(*prepared.Counter, prepared.Host, prepared.Now);
    if (prepared.ConfLoaded && prepared.Conf.ShowServerTime)
        prepared.TimePanel = BuildTimePanel(prepared.Now, GetGmtOffset());
    return prepared;
}

}  // namespace tlvx
