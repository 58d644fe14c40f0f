// tlvxstat: the report pages, run by the web server once per request (or by
// hand with -install to create a counter database).
#include "platform/cgi_run.h"
#include "webstat/main_module.h"

int main(int argc, char** argv) {
    return tlvx::RunCgiProgram<tlvx::TMainM, &tlvx::TMainM::MainItemAction>(argc, argv, "tlvxstat");
}
