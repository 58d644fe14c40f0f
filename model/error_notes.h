// Error notes and the process-wide failure flag.
//
// Every guarded step of the data model and the programs swallows its
// exception and makes a note with a fixed text. A note changes nothing but
// the failure flag, which turns the end-of-request commit of the counter
// database into an abort. The note text itself is not kept.
#pragma once

#include <span>
#include <string_view>

namespace tlvx {

// Sets the failure flag unless text is exactly kNoteLastDateCookie or the
// install mode is on.
void NoteError(std::string_view text);

// True once a note other than kNoteLastDateCookie was made outside install
// mode; never cleared during a run.
bool ErrorFlag();

// The install run of a program creates its database; notes made while it is
// set leave the failure flag alone.
bool InstallMode();
void SetInstallMode(bool on);

// Clears both flags, for tests that simulate several runs in one process.
void ResetErrorNotes();

// The note texts, each used by one guarded step.
// Counter program, cookie road: reading the previous hit's date from the
// visitor cookie; the one note that leaves the failure flag alone.
inline constexpr std::string_view kNoteLastDateCookie = "Error2!";
// Counter program, cookie road: the node list kept in the session cookie.
inline constexpr std::string_view kNoteSessionNodes = "Error3!";
// Counter program: recording a hit with visitor cookies.
inline constexpr std::string_view kNoteCookieHit = "error1!";
// Counter program: recording a hit that knows the visitor only by the
// client address ("nocookies").
inline constexpr std::string_view kNoteAddressHit = "error1a!";
// Counter program: group visits of a hit's parent nodes.
inline constexpr std::string_view kNoteParentVisits = "error #90";
// Counter program: group visitors of a hit's parent nodes.
inline constexpr std::string_view kNoteParentVisitors = "error #91";
// Counter program: reading the configuration file and picking the block.
inline constexpr std::string_view kNoteConfiguration = "Error71!";
// Counter program: its text-to-integer conversion on a text that is no integer.
inline constexpr std::string_view kNoteIntegerText = "Error72!";
// Opening or creating the counter database.
inline constexpr std::string_view kNoteOpenCounter = "Error40!";
// Node hit recording, its guarded stages in order: opening the node's
// indexes, the week-hour table, the day lookup, the day record, the day's
// sub-atoms, the client address, the previous page and source.
inline constexpr std::string_view kNoteNodeIndexes = "errorN1";
inline constexpr std::string_view kNoteNodeWeekHours = "errorN2";
inline constexpr std::string_view kNoteNodeDayLookup = "errorN3";
inline constexpr std::string_view kNoteNodeDayRecord = "errorN4";
inline constexpr std::string_view kNoteNodeDayAtoms = "errorN5";
inline constexpr std::string_view kNoteNodeAddress = "errorN6";
inline constexpr std::string_view kNoteNodeSource = "errotN10";  // spelt so on purpose
// Node hit recording as a whole.
inline constexpr std::string_view kNoteNodeHit = "Error10!";
// Listing the client-address rows of a node's statistics: reading one
// address record, reading one index entry.
inline constexpr std::string_view kNoteAddressRecord = "Error4!";
inline constexpr std::string_view kNoteAddressEntry = "Error5!";
// Listing a day's sources of a node.
inline constexpr std::string_view kNoteDaySources = "Error6!";
// Opening or creating a node's language collection.
inline constexpr std::string_view kNoteLanguages = "Error11!";
// Registering a hit in the visitor store.
inline constexpr std::string_view kNoteVisitorHit = "Error12!";
// The visitor report: reading one visitor, building its row.
inline constexpr std::string_view kNoteVisitorNodes = "Error13!";
inline constexpr std::string_view kNoteVisitorRow = "Error14!";
// Path statistics: counting one path, sorting and finishing the list.
inline constexpr std::string_view kNotePathCount = "Error18!";
inline constexpr std::string_view kNotePathList = "Error19!";
// Creating and opening the skip-list indexes.
inline constexpr std::string_view kNoteSkipCreate = "Error61!";
inline constexpr std::string_view kNoteSkipOpen = "Error62!";

// Every note text above, in the order listed.
std::span<const std::string_view> AllNoteTexts();

}  // namespace tlvx
