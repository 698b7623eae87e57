#include "platform/Updater.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace platform {

Updater *Updater::sharedUpdater()
{
    static Updater *updater = new Updater;  // lives as long as the process
    return updater;
}

void Updater::setAutomaticallyChecksForUpdates(bool value)
{
    m_automaticChecks = value;
}

void Updater::checkForUpdates()
{
    static QPointer<QMessageBox> message;
    if (!message) {
        const QString name = QGuiApplication::applicationDisplayName();
        message = new QMessageBox(QMessageBox::Information, tr("Check for Updates"),
                                  tr("%1 is updated by your system's package manager.").arg(name),
                                  QMessageBox::Ok);
        message->setObjectName(QStringLiteral("checkForUpdatesMessage"));
        message->setInformativeText(tr("Use it to look for a newer version of %1.").arg(name));
        message->setAttribute(Qt::WA_DeleteOnClose);
    }
    message->show();
    message->raise();
    message->activateWindow();
}

}  // namespace platform
