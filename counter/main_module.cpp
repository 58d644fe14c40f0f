#include "counter/main_module.h"

#include <iostream>
#include <memory>
#include <optional>

#include "counter/hit_roads.h"
#include "counter/pixel_image.h"
#include "counter/request_values.h"
#include "model/conf_parser.h"
#include "model/counter_install.h"
#include "model/counter_opening.h"
#include "model/counter_picture.h"
#include "model/error_notes.h"
#include "model/node_path.h"
#include "platform/text.h"
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

void TMain::OpenCounter(const std::string& id) {
    const TConfLookup lookup = LoadConfBlock(start_.ProgramDir() + "tlvx2.conf", id, Conf);
    ConfLoaded = lookup == TConfLookup::Loaded;
    if (lookup == TConfLookup::Unusable) NoteError(kNoteConfiguration);

    Counter.reset();
    TCounterOpening opening = OpenCounterDatabase(start_, lookup, Conf, id, false);
    DataBaseFileName() = opening.FileName;
    Counter = std::move(opening.Counter);
    // A database the configuration does not name, or one that could not be
    // checked, is noted here; a failed open was noted by OpenCounter2, and a
    // missing file is no failure of the run.
    if (opening.FileName.empty() || opening.State == TCounterOpenState::Unchecked) NoteError(kNoteOpenCounter);
    // The hit is answered all the same; the web server's error log is where
    // the site owner learns that it was not counted. (The install road says
    // it on the console.)
    if (!start_.IsConsoleInstall()) std::cerr << NoDatabaseLine("warning: hit not counted: ", opening, "-INSTALL");
}

void TMain::ReleaseCounter() noexcept { ReleaseCounterDatabase(Counter); }

void TMain::InstallRoad() {
    OpenCounter(start_.InstallId());
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
        InstallRoad();
        return;
    }
    std::optional<TCounterPicture> picture;
    try {
        const TWebFields& query = request.QueryFields();
        OpenCounter(query.Value("id"));
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
