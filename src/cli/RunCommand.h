// kovrel-sync DOCUMENT: one run of a document's whole item list.
#pragma once

#include "CliHost.h"

#include <optional>
#include <string>

namespace kovrel::cli {

inline constexpr int kExitCompleted = 0;           // end of the list, no error counted
inline constexpr int kExitCompletedWithErrors = 1; // end of the list, errors passed over
inline constexpr int kExitStopped = 2;             // No, Abort, Cancel or a fatal error

struct RUNOPTIONS {
    bool bDryRun = false;
    bool bProgress = false; // a progress line on standard error, when it is a terminal
    CLIANSWERS answers;
    // --trash=yes|no: keep deleted and overwritten files in the trash for this
    // run, whatever the profile says; the profile's UseTrash when not given.
    std::optional<bool> oUseTrash;
};

int RunDocumentCommand(const std::string& strPath, const RUNOPTIONS& options);

// kovrel-sync --add-item DOCUMENT PATH1 PATH2 [OPTION [PATTERN]]: appends one item
// to a document, creating the document when it does not exist yet.
int AddItemCommand(const std::string& strPath, const std::string& strPath1,
                   const std::string& strPath2, const char* pszOption, const char* pszPattern);

} // namespace kovrel::cli
