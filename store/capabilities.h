// Capability lists: short texts of named integer levels ("CACHE=1;...") that
// say what a storage or an index can do, and the check of a caller's
// required levels against them.
//
// Text: items separated by LF, CR, ',' or ';'; each item "name = value",
// trimmed; empty items skipped. A name is '_' or an ASCII letter followed by
// '_', letters or digits; the value a decimal 32-bit integer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ref.h"

namespace tlvx {

// A syntax error in a capability text or an invalid capability name.
class ECapListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that is not a decimal integer (the value of a capability, a
// parameter). The message is "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Strict decimal conversion with an optional sign, 32-bit range; surrounding
// text is not trimmed. Raises EConvertError.
int32_t StrToInt(std::string_view text);

class TCapList {
public:
    struct TEntry {
        std::string Name;  // as written
        int32_t Value;
    };

    // Raises ECapListError on a syntax error, EConvertError on a bad value.
    explicit TCapList(std::string_view text);

    int32_t Count() const { return int32_t(items_.size()); }
    const TEntry& Items(int32_t i) const { return items_.at(size_t(i)); }
    // Value of the first entry named name (any letter case), -1 when none.
    // An invalid name raises ECapListError.
    int32_t ValueOf(std::string_view name) const;

private:
    std::vector<TEntry> items_;
};

class ICapabilities : public virtual RefCounted {
public:
    // Every entry as "name=value" in list order, joined by separator.
    virtual std::string ToString(std::string_view separator) = 0;
    // The own level of name, -1 when absent.
    virtual int32_t GetValue(std::string_view name) = 0;
    // Every required level is at most the own one (absent counts -1).
    // A malformed required text raises as TCapList does.
    virtual bool Supports(std::string_view required) = 0;
};

// The capabilities of one component from its fixed text. A component class
// inherits it next to its main interface, so both share the component's one
// reference count; made alone it counts for itself.
class TCapabilities : public virtual ICapabilities {
public:
    explicit TCapabilities(std::string_view text) : own_(text), list_(&own_) {}
    // A list that outlives the component (one of the fixed lists below), so
    // that a component made thousands of times parses its text once.
    explicit TCapabilities(const TCapList& fixed) : own_(""), list_(&fixed) {}

    std::string ToString(std::string_view separator) override;
    int32_t GetValue(std::string_view name) override;
    bool Supports(std::string_view required) override;

    const TCapList& List() const { return *list_; }

private:
    TCapList own_;
    const TCapList* list_;
};

// Fixed capability texts of the storage and of the B-tree index, and their
// lists, parsed once.
extern const char* const kStorageCapabilities;
extern const char* const kBTreeCapabilities;
const TCapList& StorageCapList();
const TCapList& BTreeCapList();

}  // namespace tlvx
