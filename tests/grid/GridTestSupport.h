// A view in a window of its own, a document that counts its modifications and
// dialogs that answer from a script, for the grid and view tests.
#pragma once

#include "grid/KovrelView.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace kovrel::test {

class CCountingDoc : public grid::IViewDocument {
public:
    void SetModifiedFlag(bool bModified) override {
        if (bModified) {
            ++m_nModified;
        }
    }
    int m_nModified = 0;
};

// One answer per dialog call, in order; a call with no answer left fails the test
// and cancels.
class CScriptedDialogs : public grid::IViewDialogs {
public:
    struct Answer {
        bool bOk = false;
        std::string strPath; // file or directory chosen
        std::uint32_t dwOption = 0;
        std::string strPattern; // CR LF line breaks
    };
    struct Call {
        char cKind = 0;    // 'F' file, 'D' directory, 'O' options
        std::string strIn; // folder, start path or pattern handed in
        std::uint32_t dwIn = 0;
    };

    bool RunDetail(QWidget*, std::uint32_t& dwOption, std::string& strPattern) override {
        m_vecCalls.push_back({'O', strPattern, dwOption});
        const Answer a = Next();
        if (a.bOk) {
            dwOption = a.dwOption;
            strPattern = a.strPattern;
        }
        return a.bOk;
    }
    bool BrowseDir(QWidget*, std::string& strPath) override {
        m_vecCalls.push_back({'D', strPath, 0});
        const Answer a = Next();
        if (a.bOk) {
            strPath = a.strPath;
        }
        return a.bOk;
    }
    bool BrowseFile(QWidget*, std::string& strPath, const std::string& strFolder) override {
        m_vecCalls.push_back({'F', strFolder, 0});
        const Answer a = Next();
        if (a.bOk) {
            strPath = a.strPath;
        }
        return a.bOk;
    }

    void Ok(std::string strPath) { m_queAnswers.push_back({true, std::move(strPath), 0, {}}); }
    void OkDetail(std::uint32_t dwOption, std::string strPattern) {
        m_queAnswers.push_back({true, {}, dwOption, std::move(strPattern)});
    }
    void Cancel() { m_queAnswers.push_back({}); }

    std::deque<Answer> m_queAnswers;
    std::vector<Call> m_vecCalls;

private:
    Answer Next() {
        if (m_queAnswers.empty()) {
            ADD_FAILURE() << "a dialog opened that the test did not expect";
            return {};
        }
        Answer a = m_queAnswers.front();
        m_queAnswers.pop_front();
        return a;
    }
};

// The view in its own top-level window, shown and active, so focus and shortcuts
// behave as on a desktop.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_pView = std::make_unique<grid::CKovrelView>();
        m_pView->SetDocument(&m_doc);
        m_pView->SetDialogs(&m_dialogs);
        m_pView->resize(700, 400);
        m_pView->show();
        QApplication::setActiveWindow(m_pView.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_pView.get()));
        m_pView->OnInitialUpdate();
    }
    void TearDown() override { m_pView.reset(); }

    grid::CItemGrid& Grid() { return m_pView->GetGrid(); }
    const grid::CGridNav& Nav() { return Grid().GetNav(); }
    grid::CGridEdit& Edit() { return Grid().GetEdit(); }

    // Items "a0".."a{n-1}" on side 1 and "b0".. on side 2.
    void Fill(int nCount) {
        for (int i = 0; i < nCount; ++i) {
            Grid().AppendItem(0, "a" + std::to_string(i));
            Grid().SetCellText(i, 1, "b" + std::to_string(i));
        }
    }
    std::string Path(int nRow, int nSide) {
        const SYNCITEM* pItem = Grid().GetList().GetAt(nRow);
        if (pItem == nullptr) {
            return "<no item>";
        }
        const OptStr& str = nSide == 0 ? pItem->lpszPath1 : pItem->lpszPath2;
        return str.has_value() ? *str : "<null>";
    }
    // The list as "p1|p2" strings.
    std::vector<std::string> Items() {
        std::vector<std::string> vec;
        for (int i = 0; i < Grid().GetCount(); ++i) {
            vec.push_back(Path(i, 0) + "|" + Path(i, 1));
        }
        return vec;
    }
    // Centre of a cell (side 0, 1, or -1 for the middle column) in grid widget
    // coordinates, from the header height, the row height and the column widths.
    QPoint CellPoint(int nRow, int nSide) {
        const grid::CGridNav& nav = Nav();
        const int x = nSide == 0   ? nav.Width1() / 2
                      : nSide == 1 ? nav.Side2Left() + nav.Width2() / 2
                                   : nav.Width1() + grid::CGridNav::kMidWidth / 2;
        const int y = nav.RowTop(nRow) + nav.m_nRowHeight / 2;
        return Grid().ClientOrigin() + QPoint(x, y);
    }
    void Click(int nRow, int nSide) {
        QTest::mouseClick(&Grid(), Qt::LeftButton, {}, CellPoint(nRow, nSide));
    }
    void Key(int nKey, Qt::KeyboardModifiers mods = {}) {
        QWidget* pTarget = QApplication::focusWidget();
        QTest::keyClick(pTarget != nullptr ? pTarget : m_pView.get(), Qt::Key(nKey), mods);
    }
    void Cell(int nRow, int nSide) {
        Grid().SetCurSide(nSide);
        Grid().SelectRow(nRow, -1);
    }

    CCountingDoc m_doc;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<grid::CKovrelView> m_pView;
};

} // namespace kovrel::test
