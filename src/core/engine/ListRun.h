// One run of a document's whole list as both programs start it: on the real
// file system, or as a dry run through an overlay that keeps every change in
// memory (no log file), so the run sees its own earlier actions and the disk
// stays as it is.
#pragma once

#include <string>

#include "document/SyncItem.h"
#include "engine/RunHost.h"
#include "engine/RunSettings.h"
#include "engine/SyncEngine.h"
#include "platform/FileSystem.h"

namespace kovrel {

struct LISTRUNRESULT {
    RunResult result = RunResult::Stopped;
    SYNCSTAT stat;
    bool bStoppedBeforeFirstItem = false;
};

// fsReal is the file system a real run changes; a dry run only reads it.
LISTRUNRESULT RunSyncList(platform::FileSystem& fsReal, bool bDryRun, CRunHost& host,
                          const CRunSettings& settings, const CSyncItemList& list,
                          const std::string& strDocPath);

} // namespace kovrel
