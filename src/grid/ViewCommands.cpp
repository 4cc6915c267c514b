#include "grid/ViewCommands.h"

#include <QAction>
#include <QKeySequence>
#include <QList>

namespace kovrel::grid {

QAction* CreateCommandAction(const COMMANDDEF& def, QObject* pParent) {
    auto* pAction = new QAction(QString::fromUtf8(def.pszText), pParent);
    pAction->setData(def.nId);
    QList<QKeySequence> keys;
    for (const QKeyCombination key : def.aKeys) {
        if (key.key() != Qt::Key_unknown) {
            keys.append(QKeySequence(key));
        }
    }
    if (!keys.isEmpty()) {
        pAction->setShortcuts(keys);
    }
    if (def.pszPrompt != nullptr) {
        pAction->setStatusTip(QString::fromUtf8(def.pszPrompt));
    }
    if (def.pszToolTip != nullptr) {
        pAction->setToolTip(QString::fromUtf8(def.pszToolTip));
    }
    if (def.pszWhatsThis != nullptr) {
        pAction->setWhatsThis(QString::fromUtf8(def.pszWhatsThis));
    }
    return pAction;
}

} // namespace kovrel::grid
