#include "document/KvdFormat.h"

#include "platform/PosixFileSystem.h"

#include <cerrno>
#include <new>

namespace kovrel {

namespace {

KvdFileResult Failed(KvdFileStatus eStatus, int nErrno) {
    KvdFileResult res;
    res.eStatus = eStatus;
    res.nErrno = nErrno;
    return res;
}

KvdFileStatus StatusOfRead(KvdStatus eStatus) noexcept {
    switch (eStatus) {
    case KvdStatus::ForeignHeader:
        return KvdFileStatus::ForeignHeader;
    case KvdStatus::ArchiveError:
        return KvdFileStatus::ArchiveError;
    case KvdStatus::Ok:
        break;
    }
    return KvdFileStatus::Ok;
}

// Each stage of a failed file access is its own status, so the caller can say
// what went wrong in its own words.
KvdFileStatus StatusOfStage(platform::FileStage eStage) noexcept {
    switch (eStage) {
    case platform::FileStage::Open:
        return KvdFileStatus::OpenFailed;
    case platform::FileStage::NotAFile:
        return KvdFileStatus::NotAFile;
    case platform::FileStage::Read:
        return KvdFileStatus::ReadFailed;
    case platform::FileStage::Create:
        return KvdFileStatus::CreateFailed;
    case platform::FileStage::Write:
        return KvdFileStatus::WriteFailed;
    case platform::FileStage::Rename:
        return KvdFileStatus::RenameFailed;
    case platform::FileStage::TooLarge:
        return KvdFileStatus::ArchiveError;
    case platform::FileStage::Done:
        break;
    }
    return KvdFileStatus::Ok;
}

// A file that was not read because of what it is, not because the disk said no:
// an archive error like a damaged one, which empties the list as that does.
KvdFileResult Refused(KvdFault eFault, int nErrno, CSyncItemList& list) {
    KvdFileResult res = Failed(KvdFileStatus::ArchiveError, nErrno);
    res.read.eStatus = KvdStatus::ArchiveError;
    res.read.eFault = eFault;
    list.RemoveAll();
    list.m_strDocLog.clear();
    return res;
}

} // namespace

KvdFileResult LoadKvdFile(platform::FileSystem& fs, const std::string& strPath, CSyncItemList& list,
                          int& nFileVersion) {
    std::string data;
    try {
        if (const platform::FileResult file = fs.ReadFile(strPath, data, KVD_MAX_FILE_BYTES);
            !file.Ok()) {
            if (file.eStage == platform::FileStage::TooLarge)
                return Refused(KvdFault::TooLarge, file.nError, list);
            return Failed(StatusOfStage(file.eStage), file.nError);
        }
    } catch (const std::bad_alloc&) {
        return Refused(KvdFault::OutOfMemory, ENOMEM, list);
    }
    KvdFileResult res;
    res.read = ReadKvd(data, list, nFileVersion);
    res.eStatus = StatusOfRead(res.read.eStatus);
    return res;
}

KvdFileResult LoadKvdFile(const std::string& strPath, CSyncItemList& list, int& nFileVersion) {
    platform::PosixFileSystem fs;
    return LoadKvdFile(fs, strPath, list, nFileVersion);
}

KvdFileResult SaveKvdFile(platform::FileSystem& fs, const std::string& strPath,
                          const CSyncItemList& list, int nFileVersion) {
    if (const platform::FileResult file = fs.WriteFile(strPath, WriteKvd(list, nFileVersion));
        !file.Ok())
        return Failed(StatusOfStage(file.eStage), file.nError);
    return KvdFileResult{};
}

KvdFileResult SaveKvdFile(const std::string& strPath, const CSyncItemList& list, int nFileVersion) {
    platform::PosixFileSystem fs;
    return SaveKvdFile(fs, strPath, list, nFileVersion);
}

} // namespace kovrel
