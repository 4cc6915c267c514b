// The .kvd document file: a version header, then the item list in layout 1.0
// (paths, option words, pattern texts and the document's log setting, in tagged
// sections a reader can step over) or layout 0.0 (paths and option words only).
//
// Byte layout, integers little-endian:
//   archive string  length prefix, then the text without a terminating zero:
//                   L < 255: one byte; L < 0xFFFE: FF and a word; else FF FF FF
//                   and a 32-bit value. FF FE FF announces 16-bit characters: a
//                   second prefix then counts UTF-16 units, two bytes each.
//   header          archive string "KovrelDuplicator Ver1.0" or "...Ver0.0"
//   layout 1.0      int32 count; per item: path 1, path 2, int32 option word,
//                   sections, byte 0; then document sections, byte 0
//   section         byte kind (never 0), byte id, word count, then count archive
//                   strings (kind 1) or count x 2 bytes (other kinds)
//   layout 0.0      int32 count; per item: path 1, path 2, int32 option word
//
// Text is kept as code page 932 bytes wherever code page 932 holds it exactly;
// anything else (emoji, accented Latin, characters that map many-to-one, names
// that are not valid UTF-8) is written in the 16-bit form, so saving never
// alters a path and opening gives back the very same UTF-8 bytes.
#pragma once

#include "document/SyncItem.h"
#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kovrel {

// m_nFileVersion of a layout 1.0 document; every other value means layout 0.0.
inline constexpr int KVD_VERSION_1_0 = 0x100;

inline constexpr std::string_view KVD_MAGIC = "KovrelDuplicator Ver";
inline constexpr std::string_view KVD_HEADER_1_0 = "KovrelDuplicator Ver1.0";
inline constexpr std::string_view KVD_HEADER_0_0 = "KovrelDuplicator Ver0.0";

// Sections this program writes and knows.
inline constexpr std::uint8_t KVD_KIND_STRINGS = 1;
inline constexpr std::uint8_t KVD_ID_PATTERN = 1; // inside an item
inline constexpr std::uint8_t KVD_ID_DOCLOG = 2;  // after the last item

// The program's own messages about document files.
inline constexpr const char* KVD_MSG_FOREIGN_CAPTION = "Error";
inline constexpr const char* KVD_MSG_FOREIGN =
    "指定されたファイルはKovrelDuplicatorのデータファイルでは"
    "ないか、読み込むことのできないバージョンです。";
inline constexpr const char* KVD_MSG_ARCHIVE_ERROR = "予期しないﾌｧｲﾙ形式です。";
inline constexpr const char* KVD_MSG_OPEN_FAILED = "ﾄﾞｷｭﾒﾝﾄを開くことに失敗しました。";
inline constexpr const char* KVD_MSG_SAVE_FAILED = "ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。";

enum class KvdLayout { V1_0, V0_0 };

constexpr KvdLayout LayoutForVersion(int nFileVersion) noexcept {
    return nFileVersion == KVD_VERSION_1_0 ? KvdLayout::V1_0 : KvdLayout::V0_0;
}

// What a header says.
struct KvdHeaderInfo {
    bool bMagic = false;     // the first 20 bytes are KVD_MAGIC
    std::int32_t nMajor = 0; // number before the first "." after the magic
    std::int32_t nMinor = 0; // number after that "."
    int nFileVersion = 0;    // major x 256 + minor; 0 when there is no "."
};

// Reads the numbers the way the C library's strtol does (leading blanks, a sign,
// decimal digits, no digits giving 0), saturating at the 32-bit range instead of
// wrapping, so an absurd header can never pass for version 0x100.
KvdHeaderInfo ParseKvdHeader(std::string_view strHeader);

enum class KvdStatus {
    Ok,            // read (a zero-byte file reads as an empty document)
    ForeignHeader, // the magic does not match: KVD_MSG_FOREIGN, captioned "Error"
    ArchiveError,  // cut short or inconsistent: KVD_MSG_ARCHIVE_ERROR
};

// Why a document could not be read (KvdStatus::ArchiveError), for a caller that
// says more than the archive error's text.
enum class KvdFault {
    None,
    Damaged,     // cut short, or a count or length that the bytes cannot hold
    TooLarge,    // larger than KVD_MAX_FILE_BYTES: refused before a byte is read
    OutOfMemory, // its items did not fit in memory
};

// The largest document file that is opened. A real list stays far below it
// (400,000 items with paths of 30 bytes come to 26 MB); anything larger is
// refused at once, so a huge or endless file can neither take its size in
// memory nor keep the program busy reading it.
inline constexpr std::size_t KVD_MAX_FILE_BYTES = std::size_t{256} << 20;

struct KvdReadResult {
    KvdStatus eStatus = KvdStatus::Ok;
    KvdFault eFault = KvdFault::None; // set with ArchiveError
    bool bHasHeader = false;          // false only for a zero-byte file
    KvdHeaderInfo header;             // valid when bHasHeader
};

// Reads a whole document from its bytes into list, which is emptied first
// whatever happens, and is then either filled completely or left empty.
//   Ok:            items and m_strDocLog from the file (layout 0.0: patterns null,
//                  m_strDocLog empty); nFileVersion becomes the header's version.
//                  A zero-byte file leaves m_strDocLog and nFileVersion as they were.
//   ForeignHeader: m_strDocLog and nFileVersion stay as they were.
//   ArchiveError:  m_strDocLog is emptied; nFileVersion stays as it was.
// Any bytes are safe: no length or count is trusted beyond the bytes that are
// actually there, and running out of memory on the items is an ArchiveError
// (KvdFault::OutOfMemory), never an exception. Text is converted to UTF-8; a
// text holding a zero byte ends there, as it always has for these
// null-terminated fields.
KvdReadResult ReadKvd(std::string_view data, CSyncItemList& list, int& nFileVersion);

// The document's bytes in the layout nFileVersion selects (LayoutForVersion). In
// layout 0.0 pattern texts and m_strDocLog are not written. Null paths are
// written as empty strings.
std::string WriteKvd(const CSyncItemList& list, int nFileVersion);

// One archive string holding strUtf8: code page 932 bytes when they give back
// exactly strUtf8, otherwise the 16-bit form.
void AppendArchiveString(std::string& out, std::string_view strUtf8);

// The length prefix alone (byte, FF + word, or FF FF FF + 32-bit value).
void AppendArchiveLength(std::string& out, std::uint32_t nLength);

// File-level helpers.
enum class KvdFileStatus {
    Ok,
    ForeignHeader,
    ArchiveError,
    OpenFailed,   // the file could not be opened (nErrno)
    ReadFailed,   // it could not be read (nErrno; EISDIR for a directory)
    NotAFile,     // a FIFO, device or socket: never read
    CreateFailed, // the temporary file beside the document could not be made
    WriteFailed,  // writing or flushing it failed
    RenameFailed, // it could not replace the document
};

struct KvdFileResult {
    KvdFileStatus eStatus = KvdFileStatus::Ok;
    int nErrno = 0;
    KvdReadResult read; // for loads that got as far as reading
};

// Reads the file through fs and then the document with ReadKvd. When the file
// cannot be read, list, m_strDocLog and nFileVersion are left untouched. A file
// larger than KVD_MAX_FILE_BYTES is not read: an ArchiveError (KvdFault::TooLarge)
// that empties list and m_strDocLog as any other. The overload without fs reads
// the disk.
[[nodiscard]] KvdFileResult LoadKvdFile(platform::FileSystem& fs, const std::string& strPath,
                                        CSyncItemList& list, int& nFileVersion);
[[nodiscard]] KvdFileResult LoadKvdFile(const std::string& strPath, CSyncItemList& list,
                                        int& nFileVersion);

// Writes the document through fs (FileSystem::WriteFile): to a temporary beside
// strPath, flushed to the disk and renamed over strPath, so a failed save leaves
// the old document as it was and no temporary file behind. An existing document
// keeps its permission bits; a symbolic link keeps pointing at the document,
// which is replaced where it lies. The overload without fs writes to the disk.
[[nodiscard]] KvdFileResult SaveKvdFile(platform::FileSystem& fs, const std::string& strPath,
                                        const CSyncItemList& list, int nFileVersion);
[[nodiscard]] KvdFileResult SaveKvdFile(const std::string& strPath, const CSyncItemList& list,
                                        int nFileVersion);

} // namespace kovrel
