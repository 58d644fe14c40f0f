#include "store/storage_params.h"

#include "store/errors.h"
#include "store/param_parser.h"

namespace tlvx {

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

[[noreturn]] void Invalid(TQmzMessage message, const std::string& text) {
    throw EQmzError(ecInvalidParameter, message, {text});
}

// A number of bytes of memory (the cache's, or a copy of the file): an
// integer >= 0, reported as a cache value otherwise.
int32_t MemoryBudget(const TParam& p) {
    int32_t bytes = 0;
    try {
        bytes = p.AsInteger();
    } catch (const EConvertError&) {
        Invalid(TQmzMessage::InvalidCache, p.Value);
    }
    if (bytes < 0) Invalid(TQmzMessage::InvalidCache, p.Value);
    return bytes;
}

TOpenMode ModeOf(const std::string& value) {
    std::string up = Upper(value);
    if (up == "READONLY") return omReadOnly;
    if (up == "OPEN") return omOpen;
    if (up == "OPENORCREATE") return omOpenOrCreate;
    if (up == "CREATE") return omCreate;
    Invalid(TQmzMessage::InvalidMode, up);
}

}  // namespace

TStorageOpenParams ParseStorageParams(std::string_view text) {
    TStorageOpenParams params;
    if (text.empty()) return params;
    TParamList list;
    list.Parse(text);
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TParam& p = list.Items(i);
        if (p.IsNamed("Mode")) {
            params.Mode = ModeOf(p.Value);
        } else if (p.IsNamed("Class")) {
            try {
                params.Classes.push_back(p.AsGUID());
            } catch (const EConvertError&) {
                Invalid(TQmzMessage::InvalidClass, p.Value);
            }
        } else if (p.IsNamed("Cache")) {
            try {
                params.Cache = p.AsInteger();
            } catch (const EConvertError&) {
                Invalid(TQmzMessage::InvalidCache, p.Value);
            }
        } else if (p.IsNamed("CacheBytes")) {
            params.CacheBytes = MemoryBudget(p);
        } else if (p.IsNamed("WriteThrough")) {
            try {
                params.WriteThrough = p.AsBoolean();
            } catch (const EConvertError&) {
                Invalid(TQmzMessage::InvalidWriteThrough, p.Value);
            }
        } else if (p.IsNamed("SnapshotBytes")) {
            params.SnapshotBytes = MemoryBudget(p);
        } else if (p.IsNamed("AtomSizeAlign")) {
            int32_t align = 0;
            try {
                align = p.AsInteger();
            } catch (const EConvertError&) {
                Invalid(TQmzMessage::InvalidAtomSizeAlign, p.Value);
            }
            if (align <= 0 || align >= 256) Invalid(TQmzMessage::InvalidAtomSizeAlign, p.Value);
            params.AtomSizeAlign = align;
        } else {
            Invalid(TQmzMessage::UnknownParameter, p.Name);
        }
    }
    return params;
}

std::string StripFileScheme(std::string_view location) {
    if (location.size() >= 7 && Upper(location.substr(0, 7)) == "FILE://")
        return std::string(location.substr(7));
    return std::string(location);
}

}  // namespace tlvx
