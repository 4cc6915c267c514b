#include "app/CommandLine.h"

#include <sys/stat.h>

namespace kovrel::app {

namespace {

constexpr char kBlank = ' ';

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

CMDLINE ParseCommandLineText(std::string_view strText) {
    CMDLINE result;
    std::size_t i = 0;
    const std::size_t nLen = strText.size();
    const auto skipToBlank = [&] {
        while (i < nLen && strText[i] != kBlank)
            ++i;
    };
    while (i < nLen) {
        while (i < nLen && strText[i] == kBlank)
            ++i;
        if (i >= nLen)
            break;
        const char c = strText[i];
        if (c == '/') {
            ++i;
            if (i < nLen && UpperAscii(strText[i]) == 'A')
                result.nAutoSync = 1;
            skipToBlank();
        } else if (c == '"' || c == '\'') {
            ++i;
            const std::size_t nStart = i;
            while (i < nLen && strText[i] != c)
                ++i;
            result.strDocument.assign(strText.substr(nStart, i - nStart));
            skipToBlank(); // the closing quote and whatever is joined to it
        } else {
            result.strDocument.assign(strText.substr(i));
            break;
        }
    }
    return result;
}

CMDLINE ParseArgumentVector(const std::vector<std::string>& args,
                            const std::function<bool(const std::string&)>& fnExists) {
    CMDLINE result;
    for (const std::string& strWord : args) {
        bool bOption = strWord.size() >= 2 && strWord[0] == '/';
        for (std::size_t i = 1; bOption && i < strWord.size(); ++i)
            bOption = IsAsciiLetter(strWord[i]);
        // "/A" could be a file in the root directory; an existing entry wins,
        // since nobody types the name of an existing file by accident.
        if (bOption && fnExists && fnExists(strWord))
            bOption = false;
        if (bOption) {
            if (UpperAscii(strWord[1]) == 'A')
                result.nAutoSync = 1;
        } else {
            result.strDocument = strWord;
        }
    }
    return result;
}

bool PathExists(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) == 0;
}

} // namespace kovrel::app
