// A run host for tests: answers from queues, records everything it is shown, and
// can press Cancel after a number of checks or when a given line appears.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/RunHost.h"

namespace kovrel::test {

class CScriptedHost : public CRunHost {
public:
    // Answers, used up in order. A question without a queued answer fails the
    // test and is answered No / Abort, so a run never goes on by accident.
    std::deque<bool> m_yesNoAnswers;
    std::deque<AbortRetryIgnore> m_ariAnswers;
    // The confirmation before deleting a tree whose other top is absent has
    // answers of its own, so a test sees that it was asked as that question.
    std::deque<bool> m_missingTopAnswers;
    // The same for "no trash here: delete for good?".
    std::deque<bool> m_noTrashAnswers;
    // The same for the deletion guard's question.
    std::deque<bool> m_massDeleteAnswers;

    // What the run showed.
    std::vector<std::string> m_lines;     // log lines, in order
    std::vector<std::string> m_questions; // Yes/No texts
    std::vector<std::string> m_failures;  // Abort/Retry/Ignore texts
    std::vector<std::string> m_errors;    // OK-only texts
    std::vector<RUNSOUND> m_sounds;
    std::vector<std::string> m_missingTopQuestions;
    std::vector<std::string> m_noTrashQuestions;
    std::vector<std::string> m_massDeleteQuestions;
    std::vector<DELETECOUNT> m_deleteCounts;   // what the deletion guard counted, per item
    std::vector<int> m_errnos;                 // handed beside questions and errors, in order
    std::vector<std::string> m_reasons;        // reasons given for log lines
    std::vector<std::string> m_failureReasons; // the run's own reasons beside failure boxes
    // The log lines again, each with the kind of action reported before it
    // ("copy-new 2| ...") and the item boundaries as lines of their own.
    std::vector<std::string> m_annotated;

    // Cancel: CheckCancel returns true from its m_nCancelAtCheck-th call on
    // (1-based; 0: never), or from the first call after the line
    // m_strCancelAfterLine has been appended.
    int m_nCancelAtCheck = 0;
    std::string m_strCancelAfterLine;
    int m_nChecks = 0;

    bool AskYesNo(const std::string& strText) override {
        m_questions.push_back(strText);
        if (m_yesNoAnswers.empty()) {
            ADD_FAILURE() << "unexpected question: " << strText;
            return false;
        }
        const bool bYes = m_yesNoAnswers.front();
        m_yesNoAnswers.pop_front();
        return bYes;
    }

    AbortRetryIgnore AskAbortRetryIgnore(const std::string& strText) override {
        m_failures.push_back(strText);
        if (m_ariAnswers.empty()) {
            ADD_FAILURE() << "unexpected failure box: " << strText;
            return AbortRetryIgnore::Abort;
        }
        const AbortRetryIgnore answer = m_ariAnswers.front();
        m_ariAnswers.pop_front();
        return answer;
    }

    void ShowError(const std::string& strText) override { m_errors.push_back(strText); }

    bool AskMissingTop(const std::string& strText) override {
        m_missingTopQuestions.push_back(strText);
        if (m_missingTopAnswers.empty()) {
            ADD_FAILURE() << "unexpected missing-top question: " << strText;
            return false;
        }
        const bool bYes = m_missingTopAnswers.front();
        m_missingTopAnswers.pop_front();
        return bYes;
    }

    bool AskMassDelete(const std::string& strText) override {
        m_massDeleteQuestions.push_back(strText);
        if (m_massDeleteAnswers.empty()) {
            ADD_FAILURE() << "unexpected mass-delete question: " << strText;
            return false;
        }
        const bool bYes = m_massDeleteAnswers.front();
        m_massDeleteAnswers.pop_front();
        return bYes;
    }

    void OnDeleteCount(const DELETECOUNT& count) override { m_deleteCounts.push_back(count); }

    bool AskDeleteWithoutTrash(const std::string& strText, const std::string& strMountPoint,
                               int nErrno) override {
        (void)strMountPoint;
        m_noTrashQuestions.push_back(strText);
        m_errnos.push_back(nErrno);
        if (m_noTrashAnswers.empty()) {
            ADD_FAILURE() << "unexpected no-trash question: " << strText;
            return false;
        }
        const bool bYes = m_noTrashAnswers.front();
        m_noTrashAnswers.pop_front();
        return bYes;
    }

    bool AskYesNoErrno(const std::string& strText, int nErrno) override {
        m_errnos.push_back(nErrno);
        return AskYesNo(strText);
    }
    AbortRetryIgnore AskAbortRetryIgnoreErrno(const std::string& strText, int nErrno) override {
        m_errnos.push_back(nErrno);
        return AskAbortRetryIgnore(strText);
    }
    void ShowErrorErrno(const std::string& strText, int nErrno) override {
        m_errnos.push_back(nErrno);
        ShowError(strText);
    }
    void ShowLineReason(const std::string& strReason) override { m_reasons.push_back(strReason); }
    AbortRetryIgnore AskAbortRetryIgnoreReason(const std::string& strText,
                                               const std::string& strReason) override {
        m_failureReasons.push_back(strReason);
        return AskAbortRetryIgnore(strText);
    }

    void OnRunAction(const RUNACTION& action) override {
        if (!m_strPendingTag.empty())
            ADD_FAILURE() << "action without its line: " << m_strPendingTag;
        static const char* const kNames[] = {"copy-new", "copy-over", "delete", "mkdir", "rmdir"};
        m_strPendingTag = std::string(kNames[static_cast<int>(action.eKind)]) + " " +
                          std::to_string(action.nSide) + "| ";
    }
    void OnItemBegin(int nIndex) override {
        m_annotated.push_back("[begin " + std::to_string(nIndex) + "]");
    }
    void OnItemEnd(int nIndex) override {
        m_annotated.push_back("[end " + std::to_string(nIndex) + "]");
    }

    void AppendLogLine(const std::string& strLine) override {
        m_annotated.push_back(m_strPendingTag + strLine);
        m_strPendingTag.clear();
        m_lines.push_back(strLine);
        if (!m_strCancelAfterLine.empty() && strLine == m_strCancelAfterLine)
            m_bCancel = true;
    }

    bool CheckCancel() override {
        ++m_nChecks;
        if (m_nCancelAtCheck > 0 && m_nChecks >= m_nCancelAtCheck)
            m_bCancel = true;
        return m_bCancel;
    }

    void PlayRunSound(const RUNSOUND& sound) override { m_sounds.push_back(sound); }

    // Ready for another run with the same answers still queued.
    void ClearRecords() {
        m_lines.clear();
        m_questions.clear();
        m_failures.clear();
        m_errors.clear();
        m_sounds.clear();
        m_missingTopQuestions.clear();
        m_noTrashQuestions.clear();
        m_massDeleteQuestions.clear();
        m_deleteCounts.clear();
        m_errnos.clear();
        m_reasons.clear();
        m_annotated.clear();
        m_strPendingTag.clear();
        m_failureReasons.clear();
        m_nChecks = 0;
        m_bCancel = false;
    }

private:
    bool m_bCancel = false;
    std::string m_strPendingTag;
};

} // namespace kovrel::test
