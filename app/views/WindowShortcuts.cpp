#include "app/views/WindowShortcuts.h"

#include <QKeySequence>
#include <QList>
#include <QShortcut>
#include <QWidget>

namespace Vantorel {

void addCloseShortcuts(QWidget &window)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    keys.append(QKeySequence(Qt::Key_Escape));
    for (const QKeySequence &key : keys) {
        auto *shortcut = new QShortcut(key, &window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, &window, [target = &window] { target->close(); });
    }
}

}  // namespace Vantorel
