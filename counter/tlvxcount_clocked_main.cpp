// tlvxcount for the end-to-end tests: the same program, its clock read from
// the file the test's web server names (platform/testing/file_clock.h).
// Never installed.
#include "counter/main_module.h"
#include "platform/cgi_run.h"
#include "platform/testing/file_clock.h"

int main(int argc, char** argv) {
    tlvx::test::InstallClockFromEnvironment();
    return tlvx::RunCgiProgram<tlvx::TMain, &tlvx::TMain::MainMainActionAction>(argc, argv, "tlvxcount");
}
