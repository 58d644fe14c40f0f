// The geo database: IPv4 networks mapped to a country key, an area, a point
// and a memo, plus a table of country names. It is an ordinary storage file
// of the object store; the report program opens it read-only to name the
// region of each visitor address, and its owner fills it from text files.
//
// Layout under the root atom (B-tree indexes; every integer little-endian,
// so index order is not numeric order):
//   text    begins "GeoCollection."; every change rewrites it as
//           "GeoCollection. Last modified at <date time>"
//   link 1  network index: key mask(4) + network(4); value the entry atom,
//           text country key + TAB + memo, link 2 the area atom, link 3 the
//           point atom (either absent when its text is empty)
//   link 2  text index: key an area or point text; value the one atom
//           holding that text, shared by every entry that names it
//   link 3  an index that nothing reads or writes; cleared with the others
//   link 4  country index: key the country key in upper case; value text
//           the names joined by "=" (first=second)
//   link 5  mask index: key mask(4), one per mask ever added; no value
// Addresses, networks and masks are a*2^24 + b*2^16 + c*2^8 + d for
// a.b.c.d. With contiguous masks the mask index holds shorter prefixes
// first, so FindAddress lists the most specific match first.
//
// A collection holds its five indexes open for its whole life. On a
// writable storage that means: one collection per root at a time, and the
// collection is dropped before its transaction commits.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "store/indexer.h"
#include "store/virtual_atom.h"

namespace tlvx {

// 0 unknown, 1 no root atom, 2 a new store could not be laid out, 3 the
// store could not be read, 4 the root is no geo store.
class TGeoCollectionError : public std::runtime_error {
public:
    explicit TGeoCollectionError(uint16_t code);
    uint16_t Code() const noexcept { return code_; }

    static const char* MessageOf(uint16_t code);

private:
    uint16_t code_;
};

struct TNetDescription {
    uint32_t Network = 0;
    uint32_t Mask = 0;
    std::string Country;  // a key of the country table
    std::string Area;
    std::string Point;
    std::string Memo;
    friend bool operator==(const TNetDescription&, const TNetDescription&) = default;
};
using TNetDescriptions = std::vector<TNetDescription>;

struct TNetCountry {
    std::string First;
    std::string Second;
    friend bool operator==(const TNetCountry&, const TNetCountry&) = default;
};

// What an import did: entries added, and lines refused because their
// network or mask is no dotted address (or a text is too long to index).
// Empty lines count as neither.
struct TGeoImportCounts {
    int32_t Added = 0;
    int32_t Skipped = 0;
    friend bool operator==(const TGeoImportCounts&, const TGeoImportCounts&) = default;
};

// Writers (AddNetwork, DeleteNetwork, LoadCountries, ImportText, Clear) do
// nothing on a collection made read-only.
class IGeoCollection : public virtual RefCounted {
public:
    // Replaces the entry of (network, mask); only the four texts of
    // description are read. An area or point longer than an index key
    // raises std::invalid_argument before anything changes.
    virtual void AddNetwork(uint32_t network, uint32_t mask, const TNetDescription& description) = 0;
    // Removes the entry stored under exactly (network, mask).
    virtual void DeleteNetwork(uint32_t network, uint32_t mask) = 0;
    // Replaces the country table by the lines of the file (format in
    // geo_text.h); a missing file changes nothing.
    virtual void LoadCountries(const std::string& fileName) = 0;
    // The names stored for the key, trimmed and upper-cased; without a "="
    // the whole text is the second name.
    virtual bool FindCountry(std::string_view key, TNetCountry& country) = 0;
    // Adds every entry line of the file (format in geo_text.h); a missing
    // file changes nothing.
    virtual TGeoImportCounts ImportText(const std::string& fileName) = 0;
    // Writes every entry in index order, one line each; ImportText reads the
    // file back to the same entries.
    virtual void ExportText(const std::string& fileName) = 0;
    // Every entry whose network equals address AND its mask, the mask index
    // walked from its last key to its first.
    virtual bool FindAddress(uint32_t address, TNetDescriptions& found) = 0;
    // Empties the five indexes.
    virtual void Clear() = 0;
};

class TGeoCollection : public IGeoCollection {
public:
    // The geo store under root. A null root raises code 1; a root text not
    // beginning "GeoCollection.", or links 1, 2, 4 and 5 not all indexes,
    // code 4; a store error while opening them code 3.
    static Ref<IGeoCollection> Create(const Ref<IVirtualAtom>& root, bool readOnly);
    // Lays out a new, empty geo store in root (its links are dropped) and
    // opens it writable. A null root raises code 1, any failure code 2.
    static Ref<IGeoCollection> InitNew(const Ref<IVirtualAtom>& root);

    void AddNetwork(uint32_t network, uint32_t mask, const TNetDescription& description) override;
    void DeleteNetwork(uint32_t network, uint32_t mask) override;
    void LoadCountries(const std::string& fileName) override;
    bool FindCountry(std::string_view key, TNetCountry& country) override;
    TGeoImportCounts ImportText(const std::string& fileName) override;
    void ExportText(const std::string& fileName) override;
    bool FindAddress(uint32_t address, TNetDescriptions& found) override;
    void Clear() override;

private:
    friend class RefMaker;
    TGeoCollection(Ref<IVirtualAtom> root, bool readOnly);

    void OpenIndexes();
    void LoadMasks();
    void Add(uint32_t network, uint32_t mask, const TNetDescription& description);
    Ref<IVirtualAtom> SharedText(const std::string& text);
    TNetDescription Describe(std::string_view key, IVirtualAtom& entry);
    void Stamp();

    Ref<IVirtualAtom> root_;
    bool readOnly_;
    Ref<IIndexer> networks_, texts_, spare_, countries_, masks_;
    std::vector<uint32_t> maskList_;  // the mask index's keys in key order
};

// The network index key: mask then network, 4 bytes each, little-endian.
std::string GeoNetworkKey(uint32_t network, uint32_t mask);

// The geo store in fileName opened read-only. False (and geo null) when the
// file is missing, locked by a writer, damaged or no geo store; never
// raises.
bool OpenGeoCollection(const std::string& fileName, Ref<IGeoCollection>& geo);

// The region of an address for the visitor list: of the entries that match,
// the one with the most mask bits (between equal counts the greater mask),
// whatever order FindAddress gives; its area, else the first name of its
// country (the second when the first is empty); "?" when there is no geo
// store, no match, no text, or the store cannot be read.
std::string GeoRegionOf(uint32_t address, const Ref<IGeoCollection>& geo);

}  // namespace tlvx
