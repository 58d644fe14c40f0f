#include "platform/cgi_run.h"

#include <exception>
#include <iostream>

namespace tlvx {
namespace {

void SendErrorAnswer(TWebResponse& response) {
    response.Reset();
    response.SetStatus(500);
    response.SetContentType("text/plain");
    response.SetContent("Internal Server Error\r\n");
    response.SendResponse();
}

}  // namespace

int RunCgi(const TCgiHandler& handler, const ICgiEnvironment& env, std::istream* body,
           std::ostream& out, std::ostream& err) {
    TWebResponse response(out);
    try {
        TWebRequest request(env, body);
        handler(request, response);
        return 0;
    } catch (const std::exception& e) {
        err << "error: request failed: " << e.what() << "\n";
    } catch (...) {
        err << "error: request failed with an unknown exception\n";
    }
    err.flush();
    try {
        SendErrorAnswer(response);
    } catch (...) {
        err << "error: the error answer could not be sent\n";
    }
    return 1;
}

int RunCgi(const TCgiHandler& handler) {
    TProcessEnvironment env;
    return RunCgi(handler, env, &std::cin, std::cout, std::cerr);
}

}  // namespace tlvx
