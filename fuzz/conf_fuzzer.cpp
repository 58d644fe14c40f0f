// Parses the input as a configuration file, asks for every block it names,
// and checks that the file road and the text road agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_guard.h"
#include "model/conf_parser.h"
#include "platform/testing/memory_file_system.h"

using namespace tlvx;

namespace {

const std::string kPath = "/fuzz/tlvx2.conf";

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

void CheckLines(std::string_view text) {
    for (const auto& line : PrepareConfLines(text)) {
        FuzzCheck(!line.empty(), "an empty prepared line");
        FuzzCheck(line.find('#') == std::string::npos, "a comment left in a prepared line");
        FuzzCheck(line.find_first_of("\r\n") == std::string::npos, "a line break in a line");
        FuzzCheck(!IsBlank(line.front()) && !IsBlank(line.back()), "an untrimmed line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemoryFileSystemScope* files = new TMemoryFileSystemScope;
    const std::string text(reinterpret_cast<const char*>(data), size);
    RunGuarded([&] { CheckLines(text); });

    bool parsed = false;
    TBaseConf global;
    RunGuarded([&] {
        TConfParser conf = TConfParser::FromText(text);
        parsed = true;
        global = conf.Global();
        TBaseConf record;
        FuzzCheck(conf.GetBase("", record) && record == conf.Global(), "GetBase(\"\") is no global");
        // Every name that follows "<Base:" somewhere in the text.
        for (size_t at = text.find("<Base:"); at != std::string::npos;
             at = text.find("<Base:", at + 1)) {
            size_t end = text.find_first_of(">\r\n", at);
            std::string name = text.substr(at + 6, end == std::string::npos ? end : end - at - 6);
            conf.GetBase(name, record);
        }
        conf.GetBase(std::string(1, '\0'), record);
    });

    files->Files().Clear();
    files->Files().SetContents(kPath, text);
    RunGuarded([&] {
        TConfParser conf(kPath);
        FuzzCheck(parsed, "the file parses but the same text does not");
        FuzzCheck(conf.Global() == global, "file and text give different global records");
    });
    return 0;
}
