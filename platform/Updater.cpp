#include "platform/Updater.h"

#include <QCoreApplication>

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
    const QString name = QCoreApplication::applicationName();
    emit noticeRequested(tr("Check for Updates"), tr("%1 is updated by your system's package manager.").arg(name),
                         tr("Use it to look for a newer version of %1.").arg(name));
}

}  // namespace platform
