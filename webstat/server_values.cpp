#include "webstat/server_values.h"

#include "platform/cgi_environment.h"
#include "platform/clock.h"

namespace tlvx {

TGmtOffset GetGmtOffset() { return GmtOffsetOf(Clock().BiasMinutes()); }

std::string GetEnvVar(const std::string& name) { return TProcessEnvironment().Get(name); }

}  // namespace tlvx
