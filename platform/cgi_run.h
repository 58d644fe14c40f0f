// The entry of a CGI program: reads the one request, runs the handler, and
// makes sure an error that escapes it still gets an answer.
#pragma once

#include <functional>
#include <iostream>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/cgi_environment.h"
#include "platform/web_request.h"
#include "platform/web_response.h"

namespace tlvx {

// The handler sends the response itself; nothing is sent for it when it
// returns (a console road writes its own lines to the output instead).
using TCgiHandler = std::function<void(const TWebRequest&, TWebResponse&)>;

// Runs handler on the request read from env and body, the reply going to
// out. An exception that escapes the handler is described on err; when no
// response was sent yet, a bare 500 with a fixed text is sent in its place,
// with nothing of the exception in it. Returns 0, or 1 after an escaped
// exception.
int RunCgi(const TCgiHandler& handler, const ICgiEnvironment& env, std::istream* body,
           std::ostream& out, std::ostream& err);

// The same over the process environment, standard input, output and error.
int RunCgi(const TCgiHandler& handler);

// The whole main of a CGI program: its module is made from the command line,
// standard output (for console roads) and the process environment, and
// Action answers the one request through RunCgi. An exception while making
// the module is described on standard error as the program name's. Returns
// the exit status.
template <class TModule, void (TModule::*Action)(const TWebRequest&, TWebResponse&)>
int RunCgiProgram(int argc, char** argv, const char* programName) {
    std::ios::sync_with_stdio(false);
    TProcessEnvironment env;
    std::vector<std::string> args(argv, argv + argc);
    try {
        TModule module(std::move(args), std::cout, env);
        return RunCgi([&module](const TWebRequest& request, TWebResponse& response) { (module.*Action)(request, response); },
                      env, &std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "error: " << programName << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tlvx
