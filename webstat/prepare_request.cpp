// TMainM::PrepareRequest: what every report request needs before its page.
#include <iostream>

#include "model/conf_parser.h"
#include "model/counter_opening.h"
#include "model/host.h"
#include "platform/clock.h"
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

// A report request never creates a file: a database that is not there is
// only made from the console, whose install road reports on the console. A
// request that goes without its database says why on stderr as well as in
// the page's notice.
void OpenDatabase(TReportContext& prepared, TConfLookup lookup, const TProgramStart& start) {
    TCounterOpening opening = OpenCounterDatabase(start, lookup, prepared.Conf, prepared.Id, true);
    prepared.DataBasePath = opening.FileName;
    prepared.Counter = std::move(opening.Counter);
    if (!opening.Creating) std::cerr << NoDatabaseLine("warning: no statistics shown: ", opening, "-install");
}

}  // namespace

TReportContext TMainM::PrepareRequest(const TWebRequest& request, const std::string& id, TPreparation scope) const {
    TReportContext prepared;
    prepared.QueryFields = request.QueryFields();
    prepared.Now = Clock().Now();
    prepared.Id = id;
    // Without a usable block the defaults beside the program serve.
    const TConfLookup lookup = LoadConfBlock(start_.ProgramDir() + "tlvx2.conf", id, prepared.Conf);
    prepared.ConfLoaded = lookup == TConfLookup::Loaded;
    prepared.ScriptName = request.ScriptName();
    prepared.Host = NormaliseHost(request.Host());
    // Before the database: the image road needs no database, and must work
    // while the database is missing or held by a writer.
    SettleImagesDirectory(prepared, start_);
    if (scope == TPreparation::ImagesOnly) return prepared;

    OpenDatabase(prepared, lookup, start_);
    if (start_.IsConsoleInstall() || !prepared.Counter || scope == TPreparation::Database) return prepared;

    prepared.LinksBlock = BuildLinksBlock(prepared.ConfLoaded, prepared.Conf, prepared.Host, RequestUrl(request));
    prepared.ImportantPanel = BuildImportantPanel(*prepared.Counter, prepared.Host, prepared.Now);
    if (prepared.ConfLoaded && prepared.Conf.ShowServerTime)
        prepared.TimePanel = BuildTimePanel(prepared.Now, GetGmtOffset());
    return prepared;
}

}  // namespace tlvx
