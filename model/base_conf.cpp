#include "model/base_conf.h"

namespace tlvx {

TBaseConf TBaseConf::Defaults() {
    TBaseConf c;
    c.HostInterval = 720;
    c.CanAddNode = true;
    c.CanCreateDataBase = true;
    return c;
}

}  // namespace tlvx
