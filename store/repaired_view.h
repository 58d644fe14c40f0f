// A database read as the repair of its leftover journal would leave it, for
// a reader that may not write (a report program with read access only, a
// database on a read-only mount).
//
// A writer killed during its commit leaves its journal beside the database;
// the next open that may write puts the file right (store/journaled_file.h).
// A reader that may not write cannot, and reading the half-written file as
// it is would show a state no commit made. So under its share lock, where
// no writer is active, the reader judges the journal by the rule every
// repair follows (JudgeJournal): a journal whose commit the file holds
// stands, an incomplete one never touched the file, and either way the file
// is read as it is; otherwise the journal's saved bytes and size are laid
// over the file in memory. Nothing is written, the journal stays, and the
// next writer repairs the file to exactly what the reader saw.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"

namespace tlvx {

// database itself when the journal at journalPath asks for no rollback; else
// a read-only file over it that reads as the rolled-back database. The
// caller holds database's share lock.
std::unique_ptr<IFile> ViewAsRepaired(std::unique_ptr<IFile> database, const std::string& journalPath);

}  // namespace tlvx
