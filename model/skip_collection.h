// The database's own list of client addresses whose hits are not counted:
// single IPv4 addresses and networks, each with a description text.
//
// Layout under the list's root atom (keys little-endian, so index order is
// not numeric order):
//   text    "SkipCollection. Last modified at <date time>", with " by Create"
//           when the list was made; rewritten by every change but ClearAll
//   link 1  address index: key the 4-byte address; value text the description
//   link 2  network index: key {mask, address}, 8 bytes, mask first, the
//           address as given (not masked); value text the description
// Addresses are a*2^24 + b*2^16 + c*2^8 + d as int32.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "store/virtual_atom.h"

namespace tlvx {

// 0 unknown, 1 no root atom, 2 creation failed, 3 open failed.
class TSkipCollectionError : public std::runtime_error {
public:
    explicit TSkipCollectionError(uint16_t code);
    uint16_t Code() const noexcept { return code_; }

    static const char* MessageOf(uint16_t code);

private:
    uint16_t code_;
};

struct TSkipNetwork {
    int32_t Network = 0;
    int32_t Mask = 0;
    friend bool operator==(const TSkipNetwork&, const TSkipNetwork&) = default;
};

class ISkipCollection : public virtual RefCounted {
public:
    // A key already present gets a new entry (the index's insert rule).
    virtual void AddAddress(int32_t address, std::string_view description) = 0;
    virtual void AddNetwork(int32_t address, int32_t mask, std::string_view description) = 0;
    // Mask of the top bits set (bits above 32 count as 32).
    virtual void AddNetworkBits(int32_t address, uint8_t bits, std::string_view description) = 0;
    // Every address from the smaller to the larger of the two, both included.
    virtual void AddRange(uint32_t first, uint32_t last, std::string_view description) = 0;
    virtual void DeleteAddress(int32_t address) = 0;
    // Removes the key AddNetwork builds from the same two values.
    virtual void DeleteNetwork(int32_t address, int32_t mask) = 0;
    virtual void DeleteRange(uint32_t first, uint32_t last) = 0;
    // The address is listed, or (address and mask) equals a network entry.
    virtual bool IsSkipped(int32_t address) = 0;
    // As IsSkipped; description gets the matching entry's text (empty when
    // none matches).
    virtual bool IsSkippedEx(int32_t address, std::string& description) = 0;
    // In index order.
    virtual std::vector<int32_t> ListAddresses() = 0;
    virtual std::vector<TSkipNetwork> ListNetworks() = 0;
    // Empties both indexes and leaves the root text as it was.
    virtual void ClearAll() = 0;
    virtual void ClearAddresses() = 0;
    virtual void ClearNetworks() = 0;
};

class TSkipCollection : public ISkipCollection {
public:
    // A new list in root for a new database: the root's links are dropped
    // and two new indexes made. A null root raises code 1; any other
    // failure notes "Error61!" and raises code 2.
    static Ref<ISkipCollection> Create(const Ref<IVirtualAtom>& root);
    // The list kept in root: links 1 and 2 must hold indexes. A null root
    // raises code 1; anything else wrong notes "Error62!" and raises code 3.
    static Ref<ISkipCollection> Open(const Ref<IVirtualAtom>& root);

    void AddAddress(int32_t address, std::string_view description) override;
    void AddNetwork(int32_t address, int32_t mask, std::string_view description) override;
    void AddNetworkBits(int32_t address, uint8_t bits, std::string_view description) override;
    void AddRange(uint32_t first, uint32_t last, std::string_view description) override;
    void DeleteAddress(int32_t address) override;
    void DeleteNetwork(int32_t address, int32_t mask) override;
    void DeleteRange(uint32_t first, uint32_t last) override;
    bool IsSkipped(int32_t address) override;
    bool IsSkippedEx(int32_t address, std::string& description) override;
    std::vector<int32_t> ListAddresses() override;
    std::vector<TSkipNetwork> ListNetworks() override;
    void ClearAll() override;
    void ClearAddresses() override;
    void ClearNetworks() override;

private:
    friend class RefMaker;
    explicit TSkipCollection(Ref<IVirtualAtom> root) : root_(std::move(root)) {}

    bool Match(int32_t address, std::string* description);
    void Stamp(bool byCreate);
    void Clear(int32_t link);

    Ref<IVirtualAtom> root_;
};

// The key of an address and of a network as the list stores them.
std::string SkipAddressKey(int32_t address);
std::string SkipNetworkKey(int32_t address, int32_t mask);

}  // namespace tlvx
