#include "ListCommand.h"

#include "DocumentLoad.h"
#include "document/KvdFormat.h"
#include "document/SyncOptions.h"

#include <cstdio>
#include <cstring>

namespace kovrel::cli {

namespace {

constexpr int kExitOk = 0;

void PrintField(std::ostream& out, const char* pszKey, const OptStr& str) {
    out << pszKey << ' ' << (str ? PrintableText(*str) : std::string("(null)")) << '\n';
}

// One line per line of the pattern text. A final line feed ends the last line
// rather than starting an empty one; empty lines inside the text are shown,
// since they are part of what the document holds.
void PrintPattern(std::ostream& out, const OptStr& str) {
    if (!str || str->empty())
        return;
    std::string_view rest = *str;
    while (!rest.empty()) {
        const std::size_t nLf = rest.find('\n');
        out << "pattern " << PrintableText(rest.substr(0, nLf)) << '\n';
        if (nLf == std::string_view::npos)
            break;
        rest.remove_prefix(nLf + 1);
    }
}

} // namespace

int RunListCommand(const std::string& strPath, std::ostream& out, std::ostream& err) {
    CSyncItemList list;
    int nFileVersion = KVD_VERSION_1_0;
    KvdReadResult read;
    if (!LoadDocumentOrReport(strPath, list, nFileVersion, read, err))
        return kExitUnreadable;

    // A zero-byte file is an empty document without a header: nothing to print.
    if (read.bHasHeader)
        out << "version " << read.header.nMajor << '.' << read.header.nMinor << '\n';
    for (int i = 0; i < list.GetCount(); ++i) {
        const SYNCITEM* pItem = list.GetAt(i);
        out << "item " << (i + 1) << '\n';
        PrintField(out, "path1", pItem->lpszPath1);
        PrintField(out, "path2", pItem->lpszPath2);
        char buf[32];
        std::snprintf(buf, sizeof buf, "option 0x%08X\n", static_cast<unsigned>(pItem->dwOption));
        out << buf;
        // Spelled out where the run decides against a remembered state; a
        // one-way word that carries the bit (only a document can hold one)
        // runs without it and shows the bit in the word alone.
        if (CSyncOptions(pItem->dwOption).UsesRememberedState())
            out << "remember last-run\n";
        PrintPattern(out, pItem->lpszPattern);
    }
    if (!list.m_strDocLog.empty())
        out << "doclog " << PrintableText(list.m_strDocLog) << '\n';
    out.flush();
    if (!out) {
        err << "kovrel-sync: cannot write the listing\n";
        return kExitUnreadable;
    }
    return kExitOk;
}

} // namespace kovrel::cli
