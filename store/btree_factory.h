// The factory of B-tree indexes: creates them in a storage, opens them from
// their index atom and recognises index atoms.
#pragma once

#include <string_view>

#include "store/indexer.h"

namespace tlvx {

inline constexpr uint32_t kDefaultPageSize = 40;

class TBtreeFactory : public IIndexerFactory {
public:
    // A stored PageSize that is not even 4..1024 is no index either (code
    // 152): nothing sized from it is trusted.
    Ref<IIndexer> OpenIndex(const Ref<IVirtualAtom>& indexAtom, std::string_view requiredCaps,
                            std::string_view params) override;
    // The new atom is made before params are checked; on a bad PageSize
    // (EQmzError 19) it is left unlinked for the store to reclaim.
    Ref<IIndexer> CreateIndex(const Ref<IVirtualStorage>& storage, Ref<IVirtualAtom>& indexAtom,
                              std::string_view requiredCaps, std::string_view params) override;
    Ref<IIndexer> OpenOrCreateIndex(const Ref<IVirtualAtom>& parent, int32_t linkIndex,
                                    std::string_view requiredCaps, std::string_view params) override;
    // The 24-byte header is complete, of the index type and version 2, and
    // the root link opens. A broken root link counts as no index.
    bool IsBTreeIndex(const Ref<IVirtualAtom>& atom) override;
};

// The PageSize of a CreateIndex parameter text (EQmzError 19 when invalid).
uint32_t ParsePageSize(std::string_view params);

// The process-wide factory every index user goes through.
const Ref<IIndexerFactory>& IndexFactory();

}  // namespace tlvx
