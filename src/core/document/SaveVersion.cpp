#include "document/SaveVersion.h"

namespace kovrel {

SaveVersionDecision CheckSaveVersion(int nFileVersion,
                                     const std::function<UpgradeAnswer()>& fnAskUpgrade,
                                     const std::function<KeepLayoutAnswer()>& fnAskKeepLayout) {
    SaveVersionDecision d;
    d.nFileVersion = nFileVersion;
    d.eLayout = LayoutForVersion(nFileVersion);
    if (nFileVersion == KVD_VERSION_1_0)
        return d;
    switch (fnAskUpgrade()) {
    case UpgradeAnswer::Yes:
        d.nFileVersion = KVD_VERSION_1_0;
        d.eLayout = KvdLayout::V1_0;
        return d;
    case UpgradeAnswer::No:
        if (fnAskKeepLayout() == KeepLayoutAnswer::Ok)
            return d;
        break;
    case UpgradeAnswer::Cancel:
        break;
    }
    d.bSave = false;
    return d;
}

} // namespace kovrel
