#include "store/testing/memory_volumes.h"

#include "store/journaled_file.h"

namespace tlvx::test {

Ref<TOrvStorage> TMemoryVolumes::Create(const std::string& name, const TGUID& dataClass) {
    Files().Remove(name);
    Files().Remove(JournalPathOf(ExpandFileName(name)));
    TStorageOpenParams params;
    params.Mode = omCreate;
    params.Classes = {dataClass};
    return TOrvStorage::Open(name, params);
}

Ref<TOrvStorage> TMemoryVolumes::Open(bool readOnly, const std::string& name,
                                      const TGUID& dataClass) {
    TStorageOpenParams params;
    params.Mode = readOnly ? omReadOnly : omOpen;
    params.Classes = {dataClass};
    return TOrvStorage::Open(name, params);
}

}  // namespace tlvx::test
