// kovrel-sync --list: prints what a document holds, one fact per line.
#pragma once

#include <ostream>
#include <string>

namespace kovrel::cli {

// Returns the process exit status: 0 read and printed, 3 not readable.
int RunListCommand(const std::string& strPath, std::ostream& out, std::ostream& err);

} // namespace kovrel::cli
