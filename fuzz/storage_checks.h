// Makes the stored checks of a storage file agree with its bytes again.
//
// Every part of the file carries a CRC (header, atom table entries, atom
// bodies, hole entries), so almost every mutated input would be refused at
// its first check and the code behind the checks would never meet damaged
// values. The storage target rewrites the CRCs of everything it can find
// before opening the file; what the checks reject is left to the unit tests.
#pragma once

#include <string>

namespace tlvx {

void RewriteStorageChecks(std::string& file);

}  // namespace tlvx
