// tlvxcount: the hit counter, run by the web server once per request (or by
// hand with -INSTALL to create a counter database).
#include <iostream>
#include <string>
#include <vector>

#include "counter/main_module.h"
#include "platform/cgi_environment.h"
#include "platform/cgi_run.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    tlvx::TProcessEnvironment env;
    std::vector<std::string> args(argv, argv + argc);
    int status = 1;
    try {
        tlvx::TMain module(std::move(args), std::cout, env);
        status = tlvx::RunCgi(
            [&module](const tlvx::TWebRequest& request, tlvx::TWebResponse& response) {
                module.MainMainActionAction(request, response);
            },
            env, &std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "error: tlvxcount: " << e.what() << "\n";
    }
    return status;
}
