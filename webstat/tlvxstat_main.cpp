// tlvxstat: the report pages, run by the web server once per request (or by
// hand with -install to create a counter database).
#include <iostream>
#include <string>
#include <vector>

#include "platform/cgi_environment.h"
#include "platform/cgi_run.h"
#include "webstat/main_module.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    tlvx::TProcessEnvironment env;
    std::vector<std::string> args(argv, argv + argc);
    int status = 1;
    try {
        tlvx::TMainM module(std::move(args), std::cout, env);
        status = tlvx::RunCgi(
            [&module](const tlvx::TWebRequest& request, tlvx::TWebResponse& response) {
                module.MainItemAction(request, response);
            },
            env, &std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "error: tlvxstat: " << e.what() << "\n";
    }
    return status;
}
