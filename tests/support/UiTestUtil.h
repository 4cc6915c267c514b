// Helpers shared by the tests of the Qt layer.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <string>
#include <vector>

#include "ui/Sound.h"

namespace kovrel::test {

// Clicks a button where a user would: on a radio button or check box the
// mark itself (its left end), on a push button its middle.
inline void ClickButton(QAbstractButton* pButton) {
    const QPoint pt = pButton->inherits("QPushButton") ? pButton->rect().center()
                                                       : QPoint(6, pButton->height() / 2);
    QTest::mouseClick(pButton, Qt::LeftButton, Qt::NoModifier, pt);
}

// Stands in for the sound service and remembers what would have been played.
class CSoundRecorder final : public ui::ISoundService {
public:
    CSoundRecorder() : m_pPrevious(ui::SetSoundService(this)) {}
    ~CSoundRecorder() override { ui::SetSoundService(m_pPrevious); }
    CSoundRecorder(const CSoundRecorder&) = delete;
    CSoundRecorder& operator=(const CSoundRecorder&) = delete;

    bool PlayFile(const std::string& strPath) override {
        m_vecPlayed.push_back("file:" + strPath);
        return m_bFilesPlay;
    }
    bool PlayEvent(ui::SoundEvent nEvent) override {
        m_vecPlayed.push_back(nEvent == ui::SoundEvent::Warning ? "event:warning"
                                                                : "event:information");
        return true;
    }

    std::vector<std::string> m_vecPlayed;
    bool m_bFilesPlay = true;

private:
    ui::ISoundService* m_pPrevious;
};

} // namespace kovrel::test
