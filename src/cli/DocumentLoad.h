// Opening a document from the command line, with the program's messages.
#pragma once

#include "document/KvdFormat.h"

#include <ostream>
#include <string>
#include <string_view>

namespace kovrel::cli {

// Exit status of a document that cannot be read, and of wrong arguments.
inline constexpr int kExitUnreadable = 3;

// Reads the document into list. On failure prints the reason on err (the
// program's own message for a foreign or broken file; otherwise the file's name
// and the cause) and returns false.
bool LoadDocumentOrReport(const std::string& strPath, CSyncItemList& list, int& nFileVersion,
                          KvdReadResult& read, std::ostream& err);

// Text as one line: control characters and stray bytes shown as \xHH.
std::string PrintableText(std::string_view s);

// The path in double quotes, control characters and stray bytes shown as \xHH.
std::string QuotedForMessage(const std::string& strPath);

} // namespace kovrel::cli
