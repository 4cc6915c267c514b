// The log file command's rules as a table: what the dialog starts with, and
// what an OK does to the document's setting, its modified flag and the
// program-wide setting.
#include "app/LogFileRules.h"

#include <gtest/gtest.h>

namespace kovrel::app {
namespace {

TEST(LogFileDialogStart, DocumentsOwnSettingFirstElseTheProgramWideOne) {
    CRunSettings settings;
    settings.m_strLogFile = "/var/log/all.log";
    settings.m_bLogAppend = true;
    struct CASE {
        const char* pszDocLog;
        LOGFILECHOICE expected;
    };
    const CASE cases[] = {
        {"", {false, "/var/log/all.log", true}},
        {"a/doc.log", {true, "/doc.log", true}},
        {"w/doc.log", {true, "/doc.log", false}},
        {"w", {true, "", false}}, // a mode letter alone: an empty path
    };
    for (const CASE& c : cases)
        EXPECT_EQ(LogFileDialogStart(c.pszDocLog, settings), c.expected) << c.pszDocLog;
}

struct APPLYCASE {
    const char* pszName;
    const char* pszDocLogBefore;
    LOGFILECHOICE choice;
    LOGFILEOUTCOME expected;
};

TEST(ApplyLogFileChoice, DocumentSettingModifiedFlagAndProfile) {
    const APPLYCASE cases[] = {
        {"turn on", "", {true, "/doc.log", false}, {"w/doc.log", true, false}},
        {"turn on with the program-wide path",
         "",
         {true, "/g.log", true},
         {"a/g.log", true, false}},
        {"unchanged", "a/doc.log", {true, "/doc.log", true}, {"a/doc.log", false, false}},
        {"mode changed", "a/doc.log", {true, "/doc.log", false}, {"w/doc.log", true, false}},
        {"path changed", "w/doc.log", {true, "/other.log", false}, {"w/other.log", true, false}},
        {"turn off", "a/doc.log", {false, "/new.log", false}, {"", true, true}},
        {"program-wide only", "", {false, "/new.log", true}, {"", false, true}},
        {"program-wide cleared", "", {false, "", false}, {"", false, true}},
    };
    for (const APPLYCASE& c : cases) {
        SCOPED_TRACE(c.pszName);
        CRunSettings settings;
        settings.m_strLogFile = "/g.log";
        settings.m_bLogAppend = true;
        EXPECT_EQ(ApplyLogFileChoice(c.pszDocLogBefore, c.choice, settings), c.expected);
        // The program-wide setting takes the choice only when the document's is off.
        EXPECT_EQ(settings.m_strLogFile, c.choice.bDocLog ? "/g.log" : c.choice.strLogFile);
        EXPECT_EQ(settings.m_bLogAppend, c.choice.bDocLog ? true : c.choice.bAppend);
    }
}

} // namespace
} // namespace kovrel::app
