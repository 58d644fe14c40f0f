#include "counter/main_module.h"

#include <iostream>
#include <memory>

#include "counter/pixel_image.h"
#include "counter/request_values.h"
#include "model/conf_parser.h"
#include "model/error_notes.h"
#include "model/text.h"
#include "platform/file.h"
#include "platform/program_path.h"
#include "platform/stream.h"
#include "raster/default_skin.h"

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

std::string ProgramBaseName(const std::string& programPath) {
    size_t slash = programPath.rfind('/');
    std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

TMain::TMain(std::vector<std::string> args, std::ostream& console, const ICgiEnvironment& env)
    : args_(std::move(args)), console_(console), env_(env) {
    if (args_.empty()) args_.push_back("tlvxcount");
    WebModuleCreate();
}

TMain::~TMain() { ReleaseCounter(); }

void TMain::WebModuleCreate() {
    ProgramDir = ProgramDirectory(args_[0]);
    LoadDefaultSkin(DefSkin);
}

bool TMain::IsInstallRun() const {
    return args_.size() > 1 && UpperAscii(args_[1]) == "-INSTALL" && !RunningUnderCgi(env_);
}

void TMain::OpenCounter(const TWebRequest& request, const std::string& id) {
    (void)request;
    const std::string confName = ProgramDir + "tlvx2.conf";
    if (FileSystem().Exists(confName)) {
        try {
            TConfParser parser(confName);
            ConfLoaded = parser.GetBase(id, Conf);
        } catch (const std::exception& e) {
            std::cerr << "warning: configuration " << confName << ": " << e.what() << "\n";
            ConfLoaded = false;
            NoteError(kNoteConfiguration);
        }
    }
    if (ConfLoaded && !id.empty())
        DataBaseFileName() = Conf.DataBaseName;
    else
        DataBaseFileName() = ProgramDir + ProgramBaseName(ProgramPath(args_[0])) + ".orv";
}

void TMain::ReleaseCounter() noexcept {}

void TMain::InstallRoad(const TWebRequest& request) {
    OpenCounter(request, args_.size() > 2 ? args_[2] : std::string());
    const bool done = false;
    ReleaseCounter();
    console_ << (done ? kInstallDoneLine : kInstallFailedLine) << "\n\n";
    console_.flush();
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

void TMain::MainMainActionAction(const TWebRequest& request, TWebResponse& response) {
    if (IsInstallRun()) {
        InstallRoad(request);
        return;
    }
    try {
        OpenCounter(request, request.QueryFields().Value("id"));
        AnswerWithoutDatabase(request, response);
    } catch (...) {
        ReleaseCounter();
        throw;
    }
    ReleaseCounter();
    response.SendResponse();
}

}  // namespace tlvx
