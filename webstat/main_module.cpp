#include "webstat/main_module.h"

#include <optional>

#include "platform/whole_file.h"
#include "webstat/access_list.h"
#include "webstat/image_action.h"
#include "webstat/page_frame.h"
#include "webstat/page_table.h"
#include "webstat/page_templates.h"

namespace tlvx {
namespace {

// A style sheet larger than this is no style sheet.
constexpr size_t kMaxStyleSheet = 1 << 20;

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
    : start_(std::move(args), "tlvxstat", env), console_(console) {
    if (std::optional<std::string> css = ReadRegularFile(start_.ProgramDir() + "test.css", kMaxStyleSheet))
        styleSheet_ = JoinLinesCrLf(*css);
    else
        styleSheet_ = BuiltInStyleSheet();
}

bool TMainM::IsInstallRoad() const { return start_.IsConsoleInstall() && start_.Args()[1] == "-install"; }

void TMainM::InstallRoad(const TWebRequest& request) {
    // The creation was committed inside OpenCounter2; the line tells what
    // is on the disk now.
    TReportContext prepared = PrepareRequest(request, start_.InstallId());
    FinishInstall(prepared.Counter, console_, kReportInstallDoneLine, kReportInstallFailedLine, "\n");
}

void TMainM::MainItemAction(const TWebRequest& request, TWebResponse& response) {
    if (IsInstallRoad()) {
        InstallRoad(request);
        return;
    }
    const std::string id = request.QueryFields().Value("id");
    const TAccessList access = LoadAccessList(start_.ProgramDir() + std::string(kAccessListFileName));
    if (!CanUserSeeCounter(request.AuthUser(), id, access)) {
        response.SetStatus(403);
        response.SetContentType("text/html");
        response.SetContent(std::string(kForbiddenBody));
        response.SendResponse();
        return;
    }
    if (!request.QueryFields().Value("img").empty()) {
        const bool pie = IsPieImage(ImageNumberOf(request.QueryFields().Value("imgind")));
        TReportContext prepared = PrepareRequest(request, id, pie ? TPreparation::Database : TPreparation::ImagesOnly);
        MainMGetDiagramItemAction(prepared, response);
        return;
    }
    const TReportContext prepared = PrepareRequest(request, id);
    const int32_t code = GetPageNumber(request);
    std::string content;
    try {
        content = BuildPageContent(prepared, code);
    } catch (...) {
        // The frame goes out with an empty content area; the runner then
        // reports the exception without a second answer.
        SendPage(response, prepared, code, "");
        throw;
    }
    SendPage(response, prepared, code, content);
}

std::string TMainM::BuildPageContent(const TReportContext& prepared, int32_t pageCode) const {
    const TReportPage& page = PageOfCode(pageCode);
    std::string content;
    if (!prepared.Counter) content = kNoStatisticsNotice;
    if (page.Builder && (prepared.Counter || !page.NeedsDatabase)) content += page.Builder(prepared);
    // The frame reads no statistics: the database goes before it is made.
    prepared.ReleaseDatabase();
    return content;
}

void TMainM::SendPage(TWebResponse& response, const TReportContext& prepared, int32_t pageCode,
                      std::string_view content) const {
    prepared.ReleaseDatabase();
    response.SetContentType("text/html");
    response.SetContent(GenerateReportPage(prepared, TFramePage{pageCode, styleSheet_, content}));
    response.SendResponse();
}

}  // namespace tlvx
