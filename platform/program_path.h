// Where the running program lies; its configuration and default database sit
// beside it.
#pragma once

#include <string>

namespace tlvx {

// The full path of the program file: argv0 made absolute when it names a
// path (holds a '/'); otherwise, since a bare name was found on the search
// path, the file the process runs (/proc/self/exe), and argv0 in the current
// directory should that be unreadable.
std::string ProgramPath(const std::string& argv0);

// The directory of ProgramPath, ending with '/'.
std::string ProgramDirectory(const std::string& argv0);

// The program's file name without its directory: what it is run as,
// "tlvxcount" for "/usr/lib/cgi-bin/tlvxcount".
std::string ProgramFileName(const std::string& programPath);

// The program's file name without directory and extension: "tlvxstat" for
// "/srv/cgi-bin/tlvxstat" and for "C:/w/tlvxstat.exe". The programs name
// their default database and images directory after it.
std::string ProgramBaseName(const std::string& programPath);

}  // namespace tlvx
