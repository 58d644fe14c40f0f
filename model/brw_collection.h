// Per-node counts of the kinds of browser visitors use.
//
// The browser atom has seven links, each an atom holding one int32 count
// (4 bytes LE). The link of a kind is not its number: Mozilla is stored in
// link 3, Opera in link 4, Lynx in link 5.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ref.h"
#include "store/virtual_atom.h"

namespace tlvx {

enum TBrowserKind : uint8_t {
    bkMSIE4 = 0,
    bkMSIE5 = 1,
    bkMSIEOther = 2,
    bkOpera = 3,
    bkLynx = 4,
    bkMozilla = 5,
    bkOther = 6,
};
inline constexpr int32_t kBrowserKindCount = 7;

// A set of kinds: bit i for kind i.
using TBrowserSet = uint8_t;
inline constexpr TBrowserSet BrowserSetOf(TBrowserKind kind) {
    return static_cast<TBrowserSet>(1u << kind);
}

// The kind of a User-Agent text: MSIE (by the first character of its
// version) before Lynx before Opera before Mozilla, else other.
TBrowserKind ClassifyUserAgent(std::string_view userAgent);

// The link of the browser atom that counts kind.
int32_t BrowserKindLink(TBrowserKind kind);

// {59420451-9AA0-4DA2-B0AE-48003F822410}
class IBrwCollection : public virtual RefCounted {
public:
    // Adds 1 to the counter of the agent's kind.
    virtual void RegisterAgent(std::string_view userAgent) = 0;
    // All seven counters := 0.
    virtual void Reset() = 0;
    // Sum of the counters of the kinds in mask.
    virtual int32_t Count(TBrowserSet mask) = 0;
};

// Reads and writes the counter atoms on every call. A missing browser atom
// or counter link counts 0; changing it raises ENilObject.
class TIBrwCollection : public IBrwCollection {
public:
    // Over an existing browser atom.
    static Ref<TIBrwCollection> Open(Ref<IVirtualAtom> browserAtom);
    // Drops every link of browserAtom and links seven new zero counters.
    static Ref<TIBrwCollection> CreateNew(Ref<IVirtualAtom> browserAtom);

    void RegisterAgent(std::string_view userAgent) override;
    void Reset() override;
    int32_t Count(TBrowserSet mask) override;

private:
    friend class RefMaker;
    explicit TIBrwCollection(Ref<IVirtualAtom> browserAtom);

    Ref<IVirtualAtom> atom_;
};

}  // namespace tlvx
