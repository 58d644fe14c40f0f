#include "model/program_start.h"

#include <iostream>

#include "platform/program_path.h"
#include "raster/default_skin.h"

namespace tlvx {

TProgramStart::TProgramStart(std::vector<std::string> args, std::string_view name, const ICgiEnvironment& env)
    : args_(std::move(args)) {
    if (args_.empty()) args_.emplace_back(name);
    programDir_ = ProgramDirectory(args_[0]);
    consoleInstall_ = tlvx::IsConsoleInstall(args_, env);
    // A request does not pay for drawing pictures only a new database takes.
    if (consoleInstall_) LoadDefaultSkin(defSkin_);
}

std::string TProgramStart::ProgramPath() const { return tlvx::ProgramPath(args_[0]); }

void ReleaseCounterDatabase(Ref<ICounter2>& counter) noexcept {
    try {
        counter.reset();
    } catch (...) {
        std::cerr << "warning: the counter database could not be released\n";
    }
}

void FinishInstall(Ref<ICounter2>& counter, std::ostream& console, std::string_view doneLine,
                   std::string_view failedLine, std::string_view lineEnd) {
    const bool done = bool(counter);
    ReleaseCounterDatabase(counter);
    console << (done ? doneLine : failedLine) << lineEnd;
    console.flush();
}

}  // namespace tlvx
