// tlvxcount: the hit counter, run by the web server once per request (or by
// hand with -INSTALL to create a counter database).
#include "counter/main_module.h"
#include "platform/cgi_run.h"

int main(int argc, char** argv) {
    return tlvx::RunCgiProgram<tlvx::TMain, &tlvx::TMain::MainMainActionAction>(argc, argv, "tlvxcount");
}
