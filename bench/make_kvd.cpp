// make_kvd: writes a small .kvd document (layout 1.0) for the benchmarks, without the GUI.
//
//   make_kvd [--option WORD] [--pattern TEXT] [--log MODEPATH] [--count N] OUT.kvd
//            [PATH1 PATH2]...
//
// Each PATH1 PATH2 pair becomes one item with the same option word and pattern text; no
// pair gives an empty document (useful to time the program's start alone). --count N
// repeats the pairs (or one pair of empty paths) until there are N items, for timing
// large documents. Texts are written as the bytes given, which is the document's
// encoding for ASCII paths.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kovrel::bench {
namespace {

class CKvdWriter {
public:
    void Byte(std::uint8_t b) { m_bytes.push_back(static_cast<char>(b)); }
    void Word(std::uint16_t w) {
        Byte(static_cast<std::uint8_t>(w));
        Byte(static_cast<std::uint8_t>(w >> 8));
    }
    void Int32(std::uint32_t dw) {
        Word(static_cast<std::uint16_t>(dw));
        Word(static_cast<std::uint16_t>(dw >> 16));
    }
    // Length prefix: one byte below 255, 0xFF + word up to 0xFFFD, else 0xFF 0xFFFF + dword.
    void String(std::string_view s) {
        const auto n = s.size();
        if (n < 0xFF) {
            Byte(static_cast<std::uint8_t>(n));
        } else if (n < 0xFFFE) {
            Byte(0xFF);
            Word(static_cast<std::uint16_t>(n));
        } else {
            Byte(0xFF);
            Word(0xFFFF);
            Int32(static_cast<std::uint32_t>(n));
        }
        m_bytes.append(s);
    }
    // A section holding one text: kind 1 (archive strings), the id, count 1.
    void TextSection(std::uint8_t nId, std::string_view s) {
        Byte(1);
        Byte(nId);
        Word(1);
        String(s);
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

struct SItem {
    std::string strPath1;
    std::string strPath2;
};

std::string Build(const std::vector<SItem>& items, std::uint32_t dwOption,
                  const std::string& strPattern, const std::string& strDocLog) {
    CKvdWriter w;
    w.String("KovrelDuplicator Ver1.0");
    w.Int32(static_cast<std::uint32_t>(items.size()));
    for (const auto& item : items) {
        w.String(item.strPath1);
        w.String(item.strPath2);
        w.Int32(dwOption);
        if (!strPattern.empty())
            w.TextSection(1, strPattern);
        w.Byte(0);
    }
    if (!strDocLog.empty())
        w.TextSection(2, strDocLog);
    w.Byte(0);
    return w.Bytes();
}

// Written beside the target and renamed over it, so a reader never sees half a document.
bool WriteFile(const std::string& strPath, const std::string& strBytes) {
    const std::string strTemp = strPath + ".tmp";
    FILE* f = std::fopen(strTemp.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "make_kvd: %s: %s\n", strTemp.c_str(), std::strerror(errno));
        return false;
    }
    const bool bWritten = std::fwrite(strBytes.data(), 1, strBytes.size(), f) == strBytes.size();
    const bool bClosed = std::fclose(f) == 0;
    if (!bWritten || !bClosed || std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        std::fprintf(stderr, "make_kvd: %s: %s\n", strPath.c_str(), std::strerror(errno));
        std::remove(strTemp.c_str());
        return false;
    }
    return true;
}

void Usage(FILE* f) {
    std::fputs("Usage: make_kvd [--option WORD] [--pattern TEXT] [--log MODEPATH] OUT.kvd\n"
               "                [PATH1 PATH2]...\n"
               "\n"
               "Writes a layout 1.0 document with one item per PATH1 PATH2 pair.\n"
               "  --option WORD    the items' option word (decimal or 0x hex; default 0)\n"
               "  --pattern TEXT   the items' pattern text (lines separated by line feeds)\n"
               "  --log MODEPATH   the document's log file setting: \"w\" or \"a\", then a path\n"
               "  --count N        N items: the pairs repeated, or empty paths without pairs\n",
               f);
}

} // namespace
} // namespace kovrel::bench

int main(int argc, char** argv) {
    using namespace kovrel::bench;
    std::uint32_t dwOption = 0;
    std::string strPattern, strDocLog, strOut;
    std::vector<std::string> paths;
    long long nCount = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        const bool bHasValue = i + 1 < argc;
        if (arg == "--option" && bHasValue) {
            char* pEnd = nullptr;
            errno = 0;
            const auto n = std::strtoull(argv[++i], &pEnd, 0);
            if (*pEnd != '\0' || errno != 0 || n > 0xFFFFFFFFULL || argv[i][0] == '-') {
                std::fprintf(stderr, "make_kvd: bad option word '%s'\n", argv[i]);
                return 2;
            }
            dwOption = static_cast<std::uint32_t>(n);
        } else if (arg == "--count" && bHasValue) {
            char* pEnd = nullptr;
            errno = 0;
            nCount = std::strtoll(argv[++i], &pEnd, 10);
            if (*pEnd != '\0' || errno != 0 || nCount < 0 || nCount > 0x7FFFFFFF) {
                std::fprintf(stderr, "make_kvd: bad count '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--pattern" && bHasValue) {
            strPattern = argv[++i];
        } else if (arg == "--log" && bHasValue) {
            strDocLog = argv[++i];
            if (strDocLog[0] != 'w' && strDocLog[0] != 'a') {
                std::fprintf(stderr, "make_kvd: --log must start with w or a\n");
                return 2;
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                paths.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "make_kvd: unknown or incomplete option '%s'\n", argv[i]);
            Usage(stderr);
            return 2;
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.empty() || paths.size() % 2 != 1) {
        Usage(stderr);
        return 2;
    }
    strOut = paths.front();
    std::vector<SItem> items;
    for (std::size_t i = 1; i + 1 < paths.size(); i += 2)
        items.push_back({paths[i], paths[i + 1]});
    if (nCount >= 0) {
        if (items.empty())
            items.push_back({});
        const std::size_t nPairs = items.size();
        items.resize(static_cast<std::size_t>(nCount));
        for (std::size_t i = nPairs; i < items.size(); ++i)
            items[i] = items[i % nPairs];
    }
    return WriteFile(strOut, Build(items, dwOption, strPattern, strDocLog)) ? 0 : 1;
}
