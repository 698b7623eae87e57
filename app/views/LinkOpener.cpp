#include "app/views/LinkOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
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

void setLinkLauncherForTesting(const QString &program)
{
    launcherOverride() = program;
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
    // Without a parent: a browser that xdg-open runs in the foreground must outlive the program.
    auto *process = new QProcess;
    process->setProgram(launcher);
    process->setArguments({QString::fromLatin1(url.toEncoded())});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::errorOccurred, process, [process, owner, url](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        showNoProgramAlert(owner, url);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process,
                     [process, owner, url](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0)
                             showNoProgramAlert(owner, url);
                         process->deleteLater();
                     });
    process->start();
}

}  // namespace Vantorel
