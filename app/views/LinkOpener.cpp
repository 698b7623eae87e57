#include "app/views/LinkOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <optional>

namespace Vantorel {

namespace {

std::optional<QString> &launcherOverride()
{
    static std::optional<QString> program;
    return program;
}

std::chrono::milliseconds &graceTime()
{
    static std::chrono::milliseconds time = linkLauncherGraceTime;
    return time;
}

QString launcherFor(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    // Other schemes (our own "vantorel:") are handled inside the process.
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("mailto"))
        return {};
    if (launcherOverride())
        return *launcherOverride();
    // Qt hands such links to xdg-open and counts it a success once xdg-open has started, also
    // when it then finds no program: run it here to learn how it ended.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return {};
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

void showNoProgramAlert(QWidget *owner, const QUrl &url)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                QCoreApplication::translate("LinkOpener", "No program could open this link."),
                                QMessageBox::Ok, owner);
    box->setObjectName(QStringLiteral("linkAlert"));
    box->setInformativeText(url.toDisplayString());
    if (auto *link = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
        link->setTextFormat(Qt::PlainText);
        link->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (owner)
        box->setWindowModality(Qt::WindowModal);
    box->open();
}

}  // namespace

void setLinkLauncherForTesting(const QString &program, std::chrono::milliseconds time)
{
    launcherOverride() = program;
    graceTime() = time;
}

void openLink(const QUrl &url, QWidget *parent)
{
    // The card that asked may be gone by the time the answer comes; its window stays.
    const QPointer<QWidget> owner = parent ? parent->window() : nullptr;
    const QString launcher = launcherFor(url);
    if (launcher.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            showNoProgramAlert(owner, url);
        return;
    }
    // Without a parent and deleted only when the launcher ends, not when this program quits:
    // destroying a QProcess kills what it runs, and xdg-open may run the browser for the
    // browser's whole life.
    auto *process = new QProcess;
    process->setProgram(launcher);
    process->setArguments({QString::fromLatin1(url.toEncoded())});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    // The watch lasts the grace time; past it the launcher has started something, and how that
    // ends is no longer ours to judge.
    auto *watch = new QTimer(process);
    watch->setSingleShot(true);
    watch->setInterval(graceTime());
    QObject::connect(watch, &QTimer::timeout, watch, [process, watch] {
        process->disconnect(watch);
        watch->deleteLater();
    });
    QObject::connect(process, &QProcess::started, watch, qOverload<>(&QTimer::start));
    QObject::connect(process, &QProcess::errorOccurred, watch, [process, owner, url](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        showNoProgramAlert(owner, url);
        process->deleteLater();
    });
    // 3 is xdg-open's "no program for this link"; any other failure this soon opened nothing either.
    QObject::connect(process, &QProcess::finished, watch, [owner, url](int exitCode, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || exitCode != 0)
            showNoProgramAlert(owner, url);
    });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start();
}

}  // namespace Vantorel
