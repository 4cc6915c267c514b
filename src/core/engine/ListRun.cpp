#include "engine/ListRun.h"

#include "platform/OverlayFileSystem.h"

namespace kovrel {

LISTRUNRESULT RunSyncList(platform::FileSystem& fsReal, bool bDryRun, CRunHost& host,
                          const CRunSettings& settings, const CSyncItemList& list,
                          const std::string& strDocPath) {
    platform::OverlayFileSystem fsOverlay(fsReal);
    platform::FileSystem& fs = bDryRun ? static_cast<platform::FileSystem&>(fsOverlay) : fsReal;
    CSyncEngine engine(fs, host, settings);
    engine.SetNoLogFile(bDryRun);
    // A dry run decides against the remembered state and never writes it.
    engine.SetStateReadOnly(bDryRun);
    engine.SetDocumentPath(strDocPath);
    LISTRUNRESULT out;
    out.result = engine.Run(list);
    out.stat = engine.GetStat();
    out.bStoppedBeforeFirstItem = engine.StoppedBeforeFirstItem();
    return out;
}

} // namespace kovrel
