// open(2) for the files of ours that must be regular files: a database, its
// journal, gate and install marker, the hit log, the configuration and the
// access list.
#pragma once

#include <sys/types.h>

#include <string>

namespace tlvx {

// Opens path with flags (O_CLOEXEC is added) and keeps the descriptor only
// when it names a regular file, which is then back in blocking mode. The
// open itself never blocks: opening a named pipe for reading waits for a
// writer, for ever, unless O_NONBLOCK is given, and the check comes only
// after the open. Returns -1 with errno set when open(2) fails; raises
// ENotRegularFile for a directory, a named pipe, a device or a socket.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666);

}  // namespace tlvx
