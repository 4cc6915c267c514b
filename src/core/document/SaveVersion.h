// The decision a save makes before writing a document that was opened in the
// old layout: upgrade it to layout 1.0, keep the old layout (and drop what only
// layout 1.0 can hold), or call the save off. Asking is the caller's business;
// this only follows the answers.
#pragma once

#include "document/KvdFormat.h"

#include <functional>

namespace kovrel {

// First question, Yes / No / Cancel with the question icon. Closing the box is Cancel.
inline constexpr const char* KVD_MSG_ASK_UPGRADE =
    "元のファイルは古いバージョンのKovrelDuplicatorで作成されました。 "
    "Save後のファイルはVer1.20より前のKovrelDuplicatorでは読めなくなります。よろしいですか？";
// Asked after No, OK / Cancel with the question icon.
inline constexpr const char* KVD_MSG_ASK_KEEP_LAYOUT =
    "元のファイルと同じバージョンで保存を行いますか？(この場合Ver1.20より前の"
    "KovrelDuplicatorでも読み込めますが，新しく追加された除外ディレクトリ指定などの情報は欠落します"
    "。)";

enum class UpgradeAnswer { Yes, No, Cancel };
enum class KeepLayoutAnswer { Ok, Cancel };

struct SaveVersionDecision {
    bool bSave = true;                   // go on and write; false: the save is called off
    KvdLayout eLayout = KvdLayout::V1_0; // the layout to write when bSave
    int nFileVersion = KVD_VERSION_1_0;  // m_nFileVersion after the decision
};

// A layout 1.0 document is written as it is without a question. Otherwise
// fnAskUpgrade is asked: Yes upgrades (version 0x100, layout 1.0); No asks
// fnAskKeepLayout, whose OK writes layout 0.0 and keeps the version, so the next
// save asks again; any Cancel calls the save off and changes nothing.
SaveVersionDecision CheckSaveVersion(int nFileVersion,
                                     const std::function<UpgradeAnswer()>& fnAskUpgrade,
                                     const std::function<KeepLayoutAnswer()>& fnAskKeepLayout);

} // namespace kovrel
