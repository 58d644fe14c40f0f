// What the report pages read of the server they run on: the time-zone
// offset and environment variables.
#pragma once

#include <string>

#include "webstat/report_math.h"

namespace tlvx {

// The offset of local time from GMT in force now (daylight saving
// included), so that the server-time panel shows the offset of the time it
// prints. The environment variable GMT_OFFSET has no effect.
TGmtOffset GetGmtOffset();

// The whole value of an environment variable; "" when it is not set.
std::string GetEnvVar(const std::string& name);

}  // namespace tlvx
