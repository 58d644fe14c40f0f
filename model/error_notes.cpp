#include "model/error_notes.h"

#include <array>

namespace tlvx {

namespace {
bool errorFlag = false;
bool installMode = false;

constexpr std::array kAllNotes{
    kNoteLastDateCookie, kNoteSessionNodes,   kNoteCookieHit,     kNoteAddressHit,
    kNoteParentVisits,   kNoteParentVisitors, kNoteConfiguration, kNoteIntegerText,
    kNoteOpenCounter,    kNoteNodeIndexes,    kNoteNodeWeekHours, kNoteNodeDayLookup,
    kNoteNodeDayRecord,  kNoteNodeDayAtoms,   kNoteNodeAddress,   kNoteNodeSource,
    kNoteNodeHit,        kNoteAddressRecord,  kNoteAddressEntry,  kNoteDaySources,
    kNoteLanguages,      kNoteVisitorHit,     kNoteVisitorNodes,  kNoteVisitorRow,
    kNotePathCount,      kNotePathList,       kNoteSkipCreate,    kNoteSkipOpen,
};
}  // namespace

void NoteError(std::string_view text) {
    if (text != kNoteLastDateCookie && !installMode) errorFlag = true;
}

bool ErrorFlag() { return errorFlag; }
bool InstallMode() { return installMode; }
void SetInstallMode(bool on) { installMode = on; }

void ResetErrorNotes() {
    errorFlag = false;
    installMode = false;
}

std::span<const std::string_view> AllNoteTexts() { return kAllNotes; }

}  // namespace tlvx
