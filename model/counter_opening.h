// The one step both programs take to get the counter database of a run, and
// the line of standard error (the web server's error log) that tells why a
// request goes without it.
#pragma once

#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/conf_parser.h"
#include "model/counter2.h"
#include "model/program_start.h"
#include "platform/ref.h"

namespace tlvx {

enum class TCounterOpenState {
    Opened,     // Counter holds the database
    Missing,    // no database file there, or the configuration names none
    Unchecked,  // whether the file is there could not be told: Failure says why
    Unopened,   // the file is there but could not be opened (or, by the
                // install road, created): Failure says why
};

struct TCounterOpening {
    TCounterOpenState State = TCounterOpenState::Missing;
    Ref<ICounter2> Counter;  // Opened only
    std::string FileName;    // as resolved; "" when the id's block sets no DataBaseName
    std::string Failure;     // Unchecked, Unopened
    // The console install road was making the database.
    bool Creating = false;
    // What the line on a missing database tells besides the file: how the
    // file was found and the command that creates it.
    TConfLookup Lookup = TConfLookup::NoFile;
    std::string Id;           // the counter id as the request gave it
    std::string ProgramFile;  // the program's file name, which the install is run with
};

// Resolves the database file of counter id (CounterDatabasePath) and opens
// it, read-only when readOnly. On the console install road a file that is no
// database yet (missing, or the remains of an install that was cut off) is
// created with the default skin instead, writable; no other run creates a
// file, and there such remains are no database: the open fails on them. A
// failed open has made the note OpenCounter2 makes; the caller notes the
// rest. Raises nothing that the file system raises.
TCounterOpening OpenCounterDatabase(const TProgramStart& start, TConfLookup lookup, const TBaseConf& conf,
                                    std::string_view id, bool readOnly);

// The line, ending in '\n', that says why a request goes without its
// database: prefix, the file and why, and for a missing file how to create
// it (ProgramFile, installSwitch and the id). "" when the database was
// opened, or when it is missing because the configuration could not be read
// (the configuration's own line told that). Control bytes and backslashes
// of the id and the file come out escaped, and the id is cut short: the
// line stays one short line whatever the request held.
std::string NoDatabaseLine(std::string_view prefix, const TCounterOpening& opening,
                           std::string_view installSwitch);

}  // namespace tlvx
