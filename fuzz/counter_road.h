// The counter program's whole request road over a real database, in memory:
// a configuration naming counter "main" with a database and a hit log, the
// database made by the install road, and a few hits of history. Clock and
// GUIDs are fixed, so every run from the same state gives the same answer.
#pragma once

#include <map>
#include <string>

#include "platform/cgi_environment.h"
#include "platform/testing/memory_file_system.h"

namespace tlvx {

struct TRoadRun {
    int status = 0;    // what RunCgi returned
    std::string out;   // the CGI reply
    std::string err;   // the warnings
};

class TCounterRoad {
public:
    static constexpr const char* kProgram = "/fuzz/cgi/tlvxcount";
    static constexpr const char* kDatabase = "/fuzz/main.orv";
    static constexpr const char* kHitLog = "/fuzz/hits.bin";

    // Installs its file system, clock and GUID source for the process.
    TCounterRoad();

    // Puts every file back as it was after the history.
    void Restore();
    // One request through the program as a web server would start it.
    TRoadRun Run(const TMapEnvironment& env, const std::string& body);
    // A usual hit on counter "main" with the given Cookie header.
    TRoadRun UsualHit(const std::string& cookies);

    // The Cookie header a browser sends after the last hit of the history.
    const std::string& HistoryCookies() const { return cookies_; }
    TMemoryFileSystem& Files() { return files_.Files(); }

private:
    TMemoryFileSystemScope files_;
    std::map<std::string, std::string> saved_;
    std::string cookies_;
};

// "name=value; name=value" of the Set-Cookie headers of a reply.
std::string CookiesOfReply(const std::string& reply);

}  // namespace tlvx
