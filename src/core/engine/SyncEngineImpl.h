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

// The owner-write bit: the read-only attribute is its absence.
inline constexpr std::uint32_t kOwnerWrite = 0200;

} // namespace kovrel
