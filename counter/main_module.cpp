#include "counter/main_module.h"

#include <iostream>
#include <memory>
#include <optional>

#include "counter/hit_roads.h"
#include "counter/pixel_image.h"
#include "counter/request_values.h"
#include "model/conf_parser.h"
#include "model/counter_install.h"
#include "model/counter_picture.h"
#include "model/error_notes.h"
#include "model/node_path.h"
#include "platform/text.h"
#include "platform/file.h"
#include "platform/stream.h"

namespace tlvx {
namespace {

void SetGIF(TWebResponse& response, const std::vector<uint8_t>& gif) {
    response.SetContentType("image/gif");
    response.SetContentStream(std::make_unique<TMemoryStream>(gif));
}

}  // namespace

std::string& DataBaseFileName() {
    static std::string name;
    return name;
}

TMain::TMain(std::vector<std::string> args, std::ostream& console, const ICgiEnvironment& env)
    : start_(std::move(args), "tlvxcount", env), console_(console) {}

TMain::~TMain() { ReleaseCounter(); }

void TMain::OpenCounter(const TWebRequest& request, const std::string& id) {
    const TConfLookup lookup = LoadConfBlock(start_.ProgramDir() + "tlvx2.conf", id, Conf);
    ConfLoaded = lookup == TConfLookup::Loaded;
    if (lookup == TConfLookup::Unusable) NoteError(kNoteConfiguration);
    DataBaseFileName() = CounterDatabasePath(start_.ProgramPath(), ConfLoaded, Conf, id);

    Counter.reset();
    const std::string& fileName = DataBaseFileName();
    if (fileName.empty()) {
        NoteError(kNoteOpenCounter);
        return;
    }
    // Only the install road creates a database: a web hit on a counter that
    // is not there yet leaves no file behind. The remains of an install that
    // was cut off count as no database, so that one install run clears them
    // and creates the database.
    bool create = false;
    try {
        create = start_.IsConsoleInstall() && !CounterDatabaseExists(fileName);
        if (!create && !FileSystem().Exists(fileName)) return;
    } catch (const EPlatformError& e) {
        // Neither there nor missing as far as we can tell (a directory that
        // may not be searched, a loop of links): no "no database" answer
        // without a word.
        NoteError(kNoteOpenCounter);
        WarnNotCounted(fileName, "could not be checked: " + std::string(e.what()));
        return;
    }
    if (create) {
        CreateCounterDatabase(fileName, start_.DefSkin(), request.Query(), Counter);
        return;
    }
    TSkinStreams noSkin{};
    OpenCounter2(fileName, Counter, noSkin, false, request.Query());
    if (!Counter) WarnNotCounted(fileName, "could not be opened: " + LastOpenCounter2Failure());
}

// The hit is answered all the same; the web server's error log is where the
// site owner learns that it was not counted. (The install road says it on
// the console.)
void TMain::WarnNotCounted(const std::string& fileName, const std::string& why) const {
    if (!start_.IsConsoleInstall())
        std::cerr << "warning: hit not counted: the counter database " << fileName << " " << why << "\n";
}

void TMain::ReleaseCounter() noexcept { ReleaseCounterDatabase(Counter); }

void TMain::InstallRoad(const TWebRequest& request) {
    OpenCounter(request, start_.InstallId());
    FinishInstall(Counter, console_, kInstallDoneLine, kInstallFailedLine, "\n\n");
}

void TMain::AnswerWithoutDatabase(const TWebRequest& request, TWebResponse& response) {
    const TWebFields& query = request.QueryFields();
    if (IsSSICall(query.Value("call"))) {
        response.SetContentType("text/html");
        response.SetContent("");
        return;
    }
    const std::string color = query.Value("color");
    SetGIF(response, OnePixelGIF(color.empty() ? kNoDatabaseColor : uint64_t(ParseHexColor(color))));
}

void TMain::RecordHit(const TWebRequest& request, TWebResponse& response) {
    // A node path beyond the limits is answered as a skipped hit: nothing
    // recorded, no cookie. Its bytes stay out of the log line.
    const std::string node = request.QueryFields().Value("node");
    if (!IsRecordableNodePath(node)) {
        std::cerr << "warning: hit not counted: its node path (" << node.size()
                  << " bytes) is longer than " << kMaxNodePathBytes << " bytes or deeper than "
                  << kMaxNodePathParts << " names\n";
        return;
    }
    if (!request.QueryFields().Value("nocookies").empty())
        HitWithoutCookies(request, response, *Counter, ConfLoaded, Conf);
    else
        HitWithCookies(request, response, *Counter, ConfLoaded, Conf);
}

void TMain::MainMainActionAction(const TWebRequest& request, TWebResponse& response) {
    if (start_.IsConsoleInstall()) {
        InstallRoad(request);
        return;
    }
    std::optional<TCounterPicture> picture;
    try {
        const TWebFields& query = request.QueryFields();
        OpenCounter(request, query.Value("id"));
        if (!Counter) {
            AnswerWithoutDatabase(request, response);
        } else if (IsSSICall(query.Value("call"))) {
            RecordHit(request, response);
            response.SetContentType("text/html");
            response.SetContent("");
        } else {
            // The hit goes first, so the picture shows the total with it.
            RecordHit(request, response);
            if (query.Value("style") == "point") {
                const std::string color = query.Value("color");
                SetGIF(response, OnePixelGIF(color.empty() ? kPointDefaultColor
                                                           : uint64_t(ParseHexColor(color))));
            } else {
                // Drawn below, once the database and its lock are let go.
                picture = ReadCounterPicture(*Counter, ParseSkinNumber(query.Value("skin")));
            }
        }
    } catch (...) {
        ReleaseCounter();
        throw;
    }
    ReleaseCounter();
    if (picture) {
        response.SetContentType("image/gif");
        response.SetContentStream(std::make_unique<TMemoryStream>(DrawCounterPicture(*picture)));
    }
    response.SendResponse();
}

}  // namespace tlvx
