// Warnings of the store that the original showed in a message box. A CGI
// program has no one to click a box away, and standard output carries the
// reply, so the warning is one line on standard error.
#pragma once

#include <string>

namespace tlvx {

// Writes "Caption: Text" (newlines in Text folded to spaces) to stderr.
void ShowWarning(const std::string& text, const std::string& caption);

}  // namespace tlvx
