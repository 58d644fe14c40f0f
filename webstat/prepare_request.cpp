// TMainM::PrepareRequest: what every report request needs before its page.
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

}  // namespace

void TMainM::SettleImagesDirectory(const std::string& id) {
    const std::string base = ProgramBaseName(ProgramPath(args_[0]));
    // An empty ImagesDirectory would name the root of the file system.
    if (ConfLoaded && !id.empty() && !Conf.ImagesDirectory.empty()) {
        ImagesDirectory = Conf.ImagesDirectory;
        if (ImagesDirectory.back() != '/') ImagesDirectory += '/';
    } else {
        ImagesDirectory = ProgramDir + base + "/";
    }
    ImagesURL = ConfLoaded && !id.empty() ? Conf.ImagesURL : base;
}

void TMainM::PrepareRequest(const TWebRequest& request, const std::string& id, TPreparation scope) {
    ConfLoaded = false;
    Conf = TBaseConf{};
    Id = id;
    DataBasePath.clear();
    // Without a usable block the defaults beside the program serve.
    ConfLoaded = LoadConfBlock(ProgramDir + "tlvx2.conf", id, Conf) == TConfLookup::Loaded;
    ScriptName = request.ScriptName();
    Host = NormaliseHost(request.Host());
    // Before the database: the image road needs no database, and must work
    // while the database is missing or held by a writer.
    SettleImagesDirectory(id);
    ImportantPanel.clear();
    TimePanel.clear();
    LinksBlock.clear();
    if (scope == TPreparation::ImagesOnly) return;

    const bool install = IsConsoleInstall(args_, env_);
    DataBasePath = CounterDatabasePath(ProgramPath(args_[0]), ConfLoaded, Conf, id);
    Counter.reset();
    // A report request never creates a file: a database that is not there
    // is only made from the console. The remains of an install that was cut
    // off count as no database there, so that one install run clears them
    // and creates the database.
    if (install && !CounterDatabaseExists(DataBasePath))
        CreateCounterDatabase(DataBasePath, DefSkin, "", Counter);
    else if (FileSystem().Exists(DataBasePath))
        OpenCounter2(DataBasePath, Counter, TSkinStreams{}, true, "");
    if (install || !Counter || scope == TPreparation::Database) return;

    LinksBlock = BuildLinksBlock(ConfLoaded, Conf, Host, RequestUrl(request));
    ImportantPanel = BuildImportantPanel(*Counter, Host);
    if (ConfLoaded && Conf.ShowServerTime) TimePanel = BuildTimePanel(Clock().Now(), GetGmtOffset());
}

}  // namespace tlvx
