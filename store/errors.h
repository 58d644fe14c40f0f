// The store's exceptions, error codes and message table.
//
// Every failure the store reports to its callers is an EQmzError with an
// integer code and an English message; the open errors of the storage file
// (codes 201 to 207) are EOrvOpenError, which callers catch as EQmzError.
// Two helper exceptions carry no code: EInvalidIndex (keyed arrays and table
// lists) and EInvalidTrID (unknown transaction identifier).
//
// Messages live in one table keyed by fixed identifiers (0xFF10 to 0xFF2F,
// 0xFF1E and 0xFF1F unused), so that another language can replace the table
// without touching the code. Placeholders: %s (file or parameter name), %d,
// and $%.8x (an atom handle as eight hexadecimal digits after a dollar sign).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tlvx {

enum TQmzErrorCode : int32_t {
    ecNotImplemented = 1,
    ecCapabilityNotSupported = 2,
    ecAccessDenied = 3,
    ecShareViolation = 4,
    ecInvalidAtomAddress = 5,
    ecTransactionFailed = 7,
    ecFileIO = 9,
    ecBrokenLink = 10,
    ecAtomBodyCRC = 11,
    ecAtomTableCRC = 12,
    ecServerTypeNotSupported = 16,
    ecInvalidParameter = 19,
    ecNotIndex = 152,
    ecOpenFile = 201,
    ecInvalidFormat = 202,
    ecUnmatchedClass = 203,
    ecUnsupportedVersion = 204,
    ecReadOnlyMarked = 205,
    ecHeaderCRC = 206,
    ecFileDamaged = 207,
};

// Identifiers of the message table.
enum class TQmzMessage : uint16_t {
    CannotCommit = 0xFF10,
    CannotAbortAtomsOpen = 0xFF11,
    CannotCommitAtomsOpen = 0xFF12,
    FileRead = 0xFF13,
    FileWrite = 0xFF14,
    BrokenLink = 0xFF15,
    AtomTableCRC = 0xFF16,
    AtomBodyCRC = 0xFF17,
    InvalidMode = 0xFF18,
    InvalidClass = 0xFF19,
    InvalidCache = 0xFF1A,
    InvalidWriteThrough = 0xFF1B,
    InvalidAtomSizeAlign = 0xFF1C,
    UnknownParameter = 0xFF1D,
    InvalidIndex = 0xFF20,
    InvalidTrID = 0xFF21,
    OpenFile = 0xFF22,
    InvalidFormat = 0xFF23,
    UnmatchedClass = 0xFF24,
    UnsupportedVersion = 0xFF25,
    ReadOnlyMarked = 0xFF26,
    HeaderCRC = 0xFF27,
    FileDamaged = 0xFF28,
    NotImplemented = 0xFF29,
    CapabilityNotSupported = 0xFF2A,
    AccessDenied = 0xFF2B,
    AtomAccessDenied = 0xFF2C,
    AtomShareViolation = 0xFF2D,
    InvalidAtomAddress = 0xFF2E,
    CannotAbort = 0xFF2F,
};

// Fixed texts that are not entries of the message table.
inline constexpr const char* kServerTypeNotSupported = "Server type not supported";
inline constexpr const char* kInvalidPageSize = "TBTreeIndexFactory - invalid PageSize parameter";
inline constexpr const char* kPageSizeOutOfRange =
    "TBTreeIndexFactory - invalid PageSize parameter value out of range";
inline constexpr const char* kNotBTreeIndex = "not BTREE index";

// The text of a table entry (empty for an identifier that has none, such as
// 0xFF1E and 0xFF1F).
std::string_view MessageText(TQmzMessage id);
std::string_view MessageText(uint16_t id);

// One argument of FormatText: a string, or an integer for %d and %x.
struct TFormatArg {
    bool isText;
    std::string text;
    int64_t number;

    TFormatArg(std::string_view s) : isText(true), text(s), number(0) {}
    TFormatArg(const std::string& s) : isText(true), text(s), number(0) {}
    TFormatArg(const char* s) : isText(true), text(s ? s : ""), number(0) {}
    template <class I, class = std::enable_if_t<std::is_integral_v<I>>>
    TFormatArg(I n) : isText(false), number(static_cast<int64_t>(n)) {}
};

// Formats printf-style with the conversions the store's texts use: %s, %d,
// %x, %X with optional precision (".8" pads with zeros), and %%. A missing
// or mismatched argument raises std::invalid_argument, never reads wild.
std::string FormatText(std::string_view format, const std::vector<TFormatArg>& args);

class EQmzError : public std::runtime_error {
public:
    EQmzError(int32_t code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    // The message is the table entry id formatted with args.
    EQmzError(int32_t code, TQmzMessage id, const std::vector<TFormatArg>& args = {})
        : EQmzError(code, FormatText(MessageText(id), args)) {}

    static EQmzError CreateFmt(int32_t code, std::string_view format,
                               const std::vector<TFormatArg>& args) {
        return EQmzError(code, FormatText(format, args));
    }

    int32_t ErrorCode() const noexcept { return code_; }
    std::string Message() const { return what(); }
    // What lay below, for the log and not part of the message: the failure
    // of the file layer behind a "File write error" of a commit, which
    // names the file (the database or its journal) and the reason.
    const std::string& Cause() const noexcept { return cause_; }
    void SetCause(std::string cause) { cause_ = std::move(cause); }

private:
    int32_t code_;
    std::string cause_;
};

// Open errors of the storage file, codes 201 to 207.
class EOrvOpenError : public EQmzError {
public:
    using EQmzError::EQmzError;
};

// The file an open error of fileName names: the one a failure of the file
// layer concerns (failedPath) when that is another file (the journal or the
// gate beside it), else fileName as the caller gave it.
std::string OpenErrorFileName(const std::string& failedPath, const std::string& fileName);

// An index outside a keyed array or a table list.
class EInvalidIndex : public std::runtime_error {
public:
    EInvalidIndex() : std::runtime_error(std::string(MessageText(TQmzMessage::InvalidIndex))) {}
};

// An unknown transaction identifier.
class EInvalidTrID : public std::runtime_error {
public:
    EInvalidTrID() : std::runtime_error(std::string(MessageText(TQmzMessage::InvalidTrID))) {}
};

// A failed internal consistency check: "Assertion failure (file, line N)".
class EAssertionFailed : public std::logic_error {
public:
    EAssertionFailed(const char* file, int line);
};

[[noreturn]] void AssertionFailure(const char* file, int line);

}  // namespace tlvx

// Internal consistency check; raises EAssertionFailed naming this file and
// line. Always compiled in: the checks guard stored data.
#define QMZ_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : ::tlvx::AssertionFailure(__FILE__, __LINE__))
