#include "webstat/main_module.h"

#include <iostream>

#include "platform/program_path.h"
#include "platform/stream.h"
#include "platform/whole_file.h"
#include "raster/default_skin.h"
#include "webstat/access_list.h"
#include "webstat/image_action.h"
#include "webstat/page_frame.h"
#include "webstat/page_table.h"
#include "webstat/page_templates.h"
#include "webstat/report_context.h"

namespace tlvx {
namespace {

// A style sheet larger than this is no style sheet.
constexpr size_t kMaxStyleSheet = 1 << 20;

// The font as the module carries it: one byte the loader skips, then the
// font stream (raster/point_font.h).
TMemoryStream StoredFontStream() {
    std::vector<uint8_t> bytes{0};
    const std::vector<uint8_t> font = DefaultFontBytes();
    bytes.insert(bytes.end(), font.begin(), font.end());
    return TMemoryStream(std::move(bytes));
}

// The lines of a text joined with CR LF, whatever ends them in the file.
std::string JoinLinesCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (i + 1 < text.size()) out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

TMainM::TMainM(std::vector<std::string> args, std::ostream& console, const ICgiEnvironment& env)
    : args_(std::move(args)), console_(console), env_(env) {
    if (args_.empty()) args_.push_back("tlvxstat");
    WebModuleCreate();
}

TMainM::~TMainM() { ReleaseCounter(); }

void TMainM::WebModuleCreate() {
    ProgramDir = ProgramDirectory(args_[0]);
    if (std::optional<std::string> css = ReadRegularFile(ProgramDir + "test.css", kMaxStyleSheet))
        StyleSheet = JoinLinesCrLf(*css);
    else
        StyleSheet = BuiltInStyleSheet();
    TMemoryStream font = StoredFontStream();
    font.Seek(1);
    Font.LoadFromStream(font);
    // Only a database creation draws the default skin.
    if (IsConsoleInstall(args_, env_)) LoadDefaultSkin(DefSkin);
}

void TMainM::ReleaseCounter() noexcept {
    try {
        Counter.reset();
    } catch (...) {
        std::cerr << "warning: the counter database could not be released\n";
    }
}

bool TMainM::IsInstallRoad() const { return IsConsoleInstall(args_, env_) && args_[1] == "-install"; }

void TMainM::InstallRoad(const TWebRequest& request) {
    PrepareRequest(request, args_.size() > 2 ? args_[2] : std::string());
    // The creation was committed inside OpenCounter2; the line tells what
    // is on the disk now.
    const bool done = bool(Counter);
    ReleaseCounter();
    console_ << (done ? kReportInstallDoneLine : kReportInstallFailedLine) << "\n";
    console_.flush();
}

void TMainM::MainItemAction(const TWebRequest& request, TWebResponse& response) {
    if (IsInstallRoad()) {
        InstallRoad(request);
        return;
    }
    const std::string id = request.QueryFields().Value("id");
    const TAccessList access = LoadAccessList(ProgramDir + std::string(kAccessListFileName));
    if (!CanUserSeeCounter(request.AuthUser(), id, access)) {
        response.SetStatus(403);
        response.SetContentType("text/html");
        response.SetContent(std::string(kForbiddenBody));
        response.SendResponse();
        return;
    }
    if (!request.QueryFields().Value("img").empty()) {
        const bool pie = IsPieImage(ImageNumberOf(request.QueryFields().Value("imgind")));
        PrepareRequest(request, id, pie ? TPreparation::Database : TPreparation::ImagesOnly);
        MainMGetDiagramItemAction(request, response);
        return;
    }
    PrepareRequest(request, id);
    PageContent.clear();
    const int32_t code = GetPageNumber(request);
    try {
        PageContent = BuildPageContent(request, code);
    } catch (...) {
        // The frame goes out with an empty content area; the runner then
        // reports the exception without a second answer.
        SendPage(response, code);
        throw;
    }
    SendPage(response, code);
}

std::string TMainM::BuildPageContent(const TWebRequest& request, int32_t pageCode) {
    const TReportPage& page = PageOfCode(pageCode);
    std::string content;
    if (!Counter) content = kNoStatisticsNotice;
    if (page.Builder && (Counter || !page.NeedsDatabase)) {
        const TReportContext context{Counter.get(), request, ScriptName, Id, ImagesDirectory,
                                     Host, ConfLoaded, Conf};
        content += page.Builder(context);
    }
    return content;
}

void TMainM::SendPage(TWebResponse& response, int32_t pageCode) {
    ReleaseCounter();
    TFrameValues frame;
    frame.ScriptName = ScriptName;
    frame.Id = Id;
    frame.PageCode = pageCode;
    frame.StyleSheet = StyleSheet;
    frame.LinksBlock = LinksBlock;
    frame.ImportantPanel = ImportantPanel;
    frame.TimePanel = TimePanel;
    frame.PageContent = PageContent;
    response.SetContentType("text/html");
    response.SetContent(GenerateReportPage(frame));
    response.SendResponse();
}

}  // namespace tlvx
