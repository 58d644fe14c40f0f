// Golden files of report pages: the bytes a page must give, CR LF
// included, kept in webstat/testdata. With TLVX_UPDATE_GOLDEN=1 in the
// environment the test writes what it got instead, for review with git diff.
#pragma once

#include <string>

namespace tlvx::test {

// Fails the test when actual differs from the golden file name, naming the
// first byte that differs.
void ExpectGolden(const std::string& name, const std::string& actual);

}  // namespace tlvx::test
