#include "app/FileErrors.h"

#include "document/KvdFormat.h"

#include <cerrno>

namespace kovrel::app {

namespace {

const char* ErrnoText(int nErrno) {
    switch (nErrno) {
    case ENOENT:
        return "%1 が見つかりません。";
    case ENOTDIR:
        return "%1 のパスが正しくありません。";
    case EACCES:
    case EPERM:
        return "%1 へのアクセスが拒否されました。";
    case ENOSPC:
    case EDQUOT:
        return "%1 を書き込むディスクの空き容量が足りません。";
    case EFBIG:
        return "%1 はファイルが大きすぎます。";
    case EISDIR:
        return "%1 はディレクトリです。";
    case ENAMETOOLONG:
        return "%1 はファイル名が長すぎます。";
    case EROFS:
        return "%1 は読み込み専用のファイルシステムにあります。";
    case ELOOP:
        return "%1 はシンボリックリンクの参照が多すぎます。";
    case EMFILE:
    case ENFILE:
        return "%1 を開けません。開いているファイルが多すぎます。";
    case EBUSY:
    case ETXTBSY:
        return "%1 は使用中です。";
    case EIO:
        return "%1 の読み書き中にハードウェアのエラーが発生しました。";
    case ENOMEM:
        return "%1 を扱うためのメモリが足りません。";
    case EEXIST:
        return "%1 はすでに存在します。";
    case EXDEV:
    case ENODEV:
    case ENXIO:
        return "%1 のデバイスに書き込めません。";
    default:
        return nullptr;
    }
}

} // namespace

QString FileErrorMessage(FileAction eAction, int nErrno, const QString& strPath) {
    if (const char* pszText = ErrnoText(nErrno))
        return QString::fromUtf8(pszText).arg(strPath);
    return QString::fromUtf8(eAction == FileAction::Open ? KVD_MSG_OPEN_FAILED
                                                         : KVD_MSG_SAVE_FAILED);
}

QString NotAFileMessage(const QString& strPath) {
    return QString::fromUtf8("%1 は通常のファイルではありません。").arg(strPath);
}

} // namespace kovrel::app
