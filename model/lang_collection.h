// Per-node counts of the languages visitors' browsers announce.
//
// The language atom's link 1 is a B-tree index keyed by the upper-cased code;
// each value atom holds the code's count as an int32 (4 bytes LE).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "store/indexer.h"
#include "store/virtual_atom.h"

namespace tlvx {

using StringArray = std::vector<std::string>;

// {17EB1493-572E-474D-8377-D463C8449D7C}
class ILangCollection : public virtual RefCounted {
public:
    // The upper-cased code's count + 1 (a new code counts 1).
    virtual void Add(std::string_view code) = 0;
    virtual void Delete(std::string_view code) = 0;
    // 0 for a code never added.
    virtual int32_t GetCount(std::string_view code) = 0;
    // In index order.
    virtual StringArray GetCodes() = 0;
    virtual void Clear() = 0;
};

// A collection without an index (a read-only database whose language atom
// has none) does nothing and counts 0.
class TLangCollection : public ILangCollection {
public:
    // Opens the index at link 1 of languageAtom, creating it there when the
    // link is empty. A link that is no index is noted "Error11!" and, unless
    // the storage is read-only, replaced by a new empty index. On a
    // read-only storage nothing is created.
    explicit TLangCollection(Ref<IVirtualAtom> languageAtom);

    void Add(std::string_view code) override;
    void Delete(std::string_view code) override;
    int32_t GetCount(std::string_view code) override;
    StringArray GetCodes() override;
    void Clear() override;

    bool HasIndex() const { return static_cast<bool>(index_); }

private:
    void CreateIndex();

    Ref<IVirtualAtom> atom_;
    Ref<IIndexer> index_;
};

}  // namespace tlvx
