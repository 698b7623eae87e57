#pragma once

#include "app/models/StoreChanges.h"
#include "app/views/AccountDetailsView.h"
#include "platform/Analytics.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <mutex>

// Helpers of the view tests: what the code logs, reports and posts, key-file dialogs, screenshots.
namespace testsupport {

// What the code under test logs (any thread), reports to analytics and posts, for one test
// program. Every message also goes on to the usual output.
class Recorder : public QObject {
public:
    struct Line {
        QtMsgType type;
        QString category;
        QString message;
    };

    Recorder()
    {
        self() = this;
        s_previous = qInstallMessageHandler(&Recorder::record);
        m_observer = platform::Analytics::addObserver([this](const platform::Analytics::Event &event) {
            const std::lock_guard lock(m_mutex);
            m_events << event.name + QLatin1Char(':') + event.properties.value(QStringLiteral("message"));
        });
        for (const QString &name : {Vantorel::StoreChange::accountRemoved, Vantorel::StoreChange::accountAdded,
                                    Vantorel::StoreChange::accountUpdated, Vantorel::StoreChange::dataRefreshed}) {
            platform::NotificationCenter::defaultCenter().subscribe(name, this,
                                                                    [this](const QString &posted) { m_posts << posted; });
        }
    }
    ~Recorder() override
    {
        platform::Analytics::removeObserver(m_observer);
        qInstallMessageHandler(s_previous);
        self() = nullptr;
    }

    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_lines.clear();
        m_events.clear();
        m_posts.clear();
    }

    QList<Line> lines() const
    {
        const std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // The messages of one category ("Vantorel.app") at one level.
    QStringList messages(const QString &category, QtMsgType type) const
    {
        QStringList result;
        for (const Line &line : lines()) {
            if (line.category == category && line.type == type)
                result << line.message;
        }
        return result;
    }
    QStringList allMessages() const
    {
        QStringList result;
        for (const Line &line : lines())
            result << line.message;
        return result;
    }
    // "ErrorName:message" per analytics event.
    QStringList events() const
    {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }
    const QStringList &posts() const { return m_posts; }

private:
    static Recorder *&self()
    {
        static Recorder *recorder = nullptr;
        return recorder;
    }
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (Recorder *recorder = self()) {
            const std::lock_guard lock(recorder->m_mutex);
            recorder->m_lines.append({type, QString::fromLatin1(context.category ? context.category : ""), message});
        }
        s_previous(type, context, message);
    }

    static inline QtMessageHandler s_previous = nullptr;
    mutable std::mutex m_mutex;
    QList<Line> m_lines;
    QStringList m_events;
    QStringList m_posts;
    int m_observer = 0;
};

// From the first call on, every account form opens a plain Qt file dialog, kept in this list.
inline QList<QPointer<QFileDialog>> &recordedKeyFileDialogs()
{
    static QList<QPointer<QFileDialog>> dialogs;
    static const bool installed = [] {
        Vantorel::AccountDetailsView::setDefaultFileDialogFactory([](QWidget *parent) {
            auto *dialog = new QFileDialog(parent);
            dialog->setOption(QFileDialog::DontUseNativeDialog);
            dialogs << dialog;
            return dialog;
        });
        return true;
    }();
    Q_UNUSED(installed);
    return dialogs;
}

// Where a test leaves its screenshots: "screenshots/<name>" beside the test program.
inline QString screenshotPath(const QString &name)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

}  // namespace testsupport
