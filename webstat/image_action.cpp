#include "webstat/image_action.h"

#include <array>

#include "platform/text.h"
#include "platform/whole_file.h"
#include "webstat/main_module.h"
#include "webstat/pie_charts.h"

namespace tlvx {
namespace {

constexpr std::array<std::string_view, 13> kImageFiles{
    "lang.gif", "brw.gif", "calendar.gif", "georeg.gif", "geocount.gif", "entries.gif", "exits.gif",
    "enex.gif", "pitrefs.gif", "up.gif", "down.gif", "logo.gif", "name.gif"};

// Pictures of the pages are small; a larger file is not one of them.
constexpr size_t kMaxImageBytes = 4 << 20;

void AnswerNotFound(TWebResponse& response) {
    response.SetStatus(404);
    response.SetContentType("text/html");
    response.SetContent("<html><body><h1>Not found</h1></body></html>");
    response.SendResponse();
}

}  // namespace

std::string_view ImageFileName(int32_t number) {
    if (number < kFirstImageNumber || number > kLastImageNumber) return "";
    return kImageFiles[size_t(number - kFirstImageNumber)];
}

int32_t ImageNumberOf(std::string_view imgind) {
    int32_t number = 0;
    return TryStrToInt(imgind, number) ? number : 0;
}

bool IsPieImage(int32_t number) { return number == kLanguagePieNumber || number == kBrowserPieNumber; }

void TMainM::MainMGetDiagramItemAction(TReportContext& prepared, TWebResponse& response) {
    const int32_t number = ImageNumberOf(prepared.Query("imgind"));
    std::optional<std::string> bytes;
    if (IsPieImage(number)) {
        if (std::optional<std::vector<uint8_t>> gif = prepared.Counter ? PieGif(*prepared.Counter, number) : std::nullopt)
            bytes.emplace(gif->begin(), gif->end());
    } else if (const std::string_view name = ImageFileName(number); !name.empty()) {
        bytes = ReadRegularFile(prepared.ImagesDirectory + std::string(name), kMaxImageBytes);
    }
    prepared.ReleaseDatabase();
    if (!bytes) {
        AnswerNotFound(response);
        return;
    }
    response.SetContentType("image/gif");
    response.SetContent(std::move(*bytes));
    response.SendResponse();
}

}  // namespace tlvx
