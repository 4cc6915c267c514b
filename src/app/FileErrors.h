// The messages for a document file that cannot be opened or saved: one per
// cause the file system reports, each naming the file.
#pragma once

#include <QString>

namespace kovrel::app {

enum class FileAction { Open, Save };

// strPath goes in for "%1". nErrno 0 or a cause without a message of its own
// gives the general "could not open" or "could not save" text.
QString FileErrorMessage(FileAction eAction, int nErrno, const QString& strPath);

// A file that is neither a regular file nor a directory (a device, a FIFO).
QString NotAFileMessage(const QString& strPath);

} // namespace kovrel::app
