#include "webstat/testing/golden_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tlvx::test {

void ExpectGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(TLVX_WEBSTAT_TESTDATA) + "/" + name;
    if (const char* update = std::getenv("TLVX_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << actual;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no golden file " << path;
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (expected == actual) return;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    ADD_FAILURE() << name << " differs from byte " << at << ": expected \""
                  << expected.substr(at > 40 ? at - 40 : 0, 120) << "\", got \""
                  << actual.substr(at > 40 ? at - 40 : 0, 120) << "\"";
}

}  // namespace tlvx::test
