// Helpers shared by the files that make up CSyncEngine (SyncRun.cpp,
// DirectoryPass.cpp, FileOperations.cpp). Internal to the engine: only those
// files include this.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SyncEngine.h"
#include "platform/Path.h"
#include "text/Utf8.h"

namespace kovrel {

// Fills each %s or %d of the format with the next argument (already text). The
// texts hold no other conversions; "%%" is kept as one "%".
inline std::string FormatText(std::string_view strFormat,
                              std::initializer_list<std::string_view> args) {
    std::string str;
    str.reserve(strFormat.size() + 64);
    auto it = args.begin();
    for (std::size_t i = 0; i < strFormat.size(); ++i) {
        const char c = strFormat[i];
        if (c == '%' && i + 1 < strFormat.size()) {
            const char cNext = strFormat[i + 1];
            if ((cNext == 's' || cNext == 'd') && it != args.end()) {
                str.append(*it++);
                ++i;
                continue;
            }
            if (cNext == '%') {
                str.push_back('%');
                ++i;
                continue;
            }
        }
        str.push_back(c);
    }
    return str;
}

inline std::string Num(long long n) {
    return std::to_string(n);
}

// A path as logs and messages show it: a line feed or a stray byte in a name
// must not split one entry into two lines.
inline std::string Shown(std::string_view strPath) {
    return text::PrintableText(strPath);
}

inline RunFlow StopIf(bool bStop) noexcept {
    return bStop ? RunFlow::Stop : RunFlow::GoOn;
}

// Asked when an item's two tops are the same tree or one lies in the other.
inline constexpr const char* kMsgOverlap =
    "同期元と同期先が同じか、一方が他方の中にあります。\n'%s' <-> '%s'\n無視して継続しますか？";

// Asked once per run and file system when a deletion finds no usable trash.
inline constexpr const char* kMsgNoTrash =
    "'%s' ではごみ箱を使えません。\nこのファイルシステムのファイルを完全に削除しますか？";

// A listing sorted as the pairing needs it (the file system already sorts; an
// unsorted one is sorted here).
void EnsureSorted(std::vector<platform::DirEntry>& entries);

// Pairs the names of two sorted listings that differ at most in ASCII case
// (match1[i]: the side-2 index paired with side-1 entry i, or -1; match2 alike).
void PairByFoldedName(const std::vector<platform::DirEntry>& e1,
                      const std::vector<platform::DirEntry>& e2, std::vector<int>& match1,
                      std::vector<int>& match2);

// One directory's pairs in the order the pass takes them, shared by the pass
// and the deletion guard's count so that the two never disagree: side 1's
// selected names first (each filtered with its own directory flag), then side
// 2's names that no selected side-1 name has taken (filtered with side 2's).
// visit(p1, strPath1, p2, strPath2, strEntryRel) gets each side's entry (null
// where that side lacks it), each side's path carrying the name that side
// actually has, and the relative path; it returns false to stop the walk, and
// so does VisitPairs then. selected1 is scratch space sized by the caller to
// entries1 (inside its own out-of-memory handling).
template <class Visit>
bool VisitPairs(const std::string& strDir1, const std::vector<platform::DirEntry>& entries1,
                const std::string& strDir2, const std::vector<platform::DirEntry>& entries2,
                const std::vector<int>& match1, const std::vector<int>& match2,
                std::vector<char>& selected1, std::string_view strRel, const CPatternSet& ps,
                Visit&& visit) {
    // Path buffers reused for every entry of this directory.
    std::string strPath1 = platform::DirPrefix(strDir1);
    std::string strPath2 = platform::DirPrefix(strDir2);
    std::string strEntryRel(strRel);
    strEntryRel.push_back(kPathSep);
    const std::size_t nBase1 = strPath1.size();
    const std::size_t nBase2 = strPath2.size();
    const std::size_t nBaseRel = strEntryRel.size();
    const auto pair = [&](int i1, int i2) {
        const platform::DirEntry* p1 = i1 >= 0 ? &entries1[static_cast<std::size_t>(i1)] : nullptr;
        const platform::DirEntry* p2 = i2 >= 0 ? &entries2[static_cast<std::size_t>(i2)] : nullptr;
        strPath1.resize(nBase1);
        strPath1 += p1 ? p1->strName : p2->strName;
        strPath2.resize(nBase2);
        strPath2 += p2 ? p2->strName : p1->strName;
        strEntryRel.resize(nBaseRel);
        strEntryRel += p1 ? p1->strName : p2->strName;
        return visit(p1, strPath1, p2, strPath2, std::string_view(strEntryRel));
    };
    for (std::size_t i = 0; i < entries1.size(); ++i)
        selected1[i] =
            IsEntrySelected(strRel, entries1[i].strName, entries1[i].attr.IsDirectory(), ps);
    for (std::size_t i = 0; i < entries1.size(); ++i) {
        if (selected1[i] && !pair(static_cast<int>(i), match1[i]))
            return false;
    }
    for (std::size_t j = 0; j < entries2.size(); ++j) {
        const int i = match2[j];
        if (i >= 0 && selected1[static_cast<std::size_t>(i)])
            continue;
        if (IsEntrySelected(strRel, entries2[j].strName, entries2[j].attr.IsDirectory(), ps) &&
            !pair(i, static_cast<int>(j)))
            return false;
    }
    return true;
}

// The owner-write bit: the read-only attribute is its absence.
inline constexpr std::uint32_t kOwnerWrite = 0200;

} // namespace kovrel
