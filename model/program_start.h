// What the two programs' web modules do alike around a request: where the
// program lies, whether this run is the console install (the only run that
// draws the default skin, which a new database takes), the console line
// that ends that run, and letting the counter database go.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/counter2.h"
#include "platform/cgi_environment.h"
#include "platform/ref.h"
#include "raster/bitmap_list.h"

namespace tlvx {

class TProgramStart {
public:
    // args is the command line, args[0] the program as started (name when
    // the line is empty); env tells whether a web server started us.
    TProgramStart(std::vector<std::string> args, std::string_view name, const ICgiEnvironment& env);

    const std::vector<std::string>& Args() const { return args_; }
    // The program's directory, ending in '/'.
    const std::string& ProgramDir() const { return programDir_; }
    // The program's own path, resolved from args[0].
    std::string ProgramPath() const;
    // Started by hand with "-install" in any letter case, outside a web
    // server.
    bool IsConsoleInstall() const { return consoleInstall_; }
    // The counter id an install run names ("" when none).
    std::string InstallId() const { return args_.size() > 2 ? args_[2] : std::string(); }
    // Drawn only for an install run; empty otherwise.
    const TNWPaintRectList& DefSkin() const { return defSkin_; }

private:
    std::vector<std::string> args_;
    std::string programDir_;
    bool consoleInstall_ = false;
    TNWPaintRectList defSkin_;
};

// Drops the database: the counter commits, or aborts after a noted error.
// Never raises.
void ReleaseCounterDatabase(Ref<ICounter2>& counter) noexcept;

// The end of an install run: the database goes, then the console is told
// whether it is on the disk now (the creation committed when it opened):
// doneLine or failedLine, then lineEnd.
void FinishInstall(Ref<ICounter2>& counter, std::ostream& console, std::string_view doneLine,
                   std::string_view failedLine, std::string_view lineEnd);

}  // namespace tlvx
