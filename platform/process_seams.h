// The process-wide seams: every piece of state that one run of a program
// shares across all its code, and that tests, benchmarks and fuzz targets
// replace or reset. A program sets each once at start (or leaves the
// default); nothing else in the code base is process-wide.
//
//   file system     SetFileSystem / FileSystem           platform/file.h
//                   (the real one, or an in-memory or fault-injecting one)
//   clock           SetClock / Clock                     platform/clock.h
//   GUID source     SetGuidSource / NewGuid              platform/guid.h
//   failure flag    NoteError / ErrorFlag / ResetErrorNotes
//                                                        model/error_notes.h
//                   (a noted failure turns the request's commit into an abort)
//   install mode    SetInstallMode / InstallMode         model/error_notes.h
//   database file   DataBaseFileName                     counter/main_module.h
//   storage opener  SetStorageCreator                    store/storage_factory.h
//   atom alignment  SetNewFileAtomSizeAlign (factory parameter) and
//                   SetAtomSizeAlign (what new files get) store/storage_factory.h,
//                                                        store/orv_file.h
//   open storages   RegisterStorage / ShutdownStorages   store/storage_registry.h
//
// A replacement file system, clock or GUID source is owned by whoever
// installed it and must outlive its use; installing nullptr restores the
// real one.
#pragma once

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/guid.h"
