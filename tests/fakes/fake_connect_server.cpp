// Serves sample App Store Connect data on 127.0.0.1 for trying the programs by hand:
//   fake_connect_server [port] [--accounts N] [--delay MS] [--fail PATH]...
// then start a program with VANTOREL_CONNECT_URL set to the address printed, and add an account
// with the printed issuer id, key id and key file. The key is made for this run only. The fake
// app lookup (icons), translation and e-mail services start alongside; their variables are
// printed too. --fail answers 500 on a path (for example /v1/customerReviewResponses, where
// responses are published), to try what a user sees when the service fails.

#include "FakeConnectServer.h"
#include "FakeEmailServer.h"
#include "FakeLookupServer.h"
#include "FakeTranslatorServer.h"
#include "tests/support/Images.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    bool ok = true;
    int accounts = 1;
    int delayMs = 0;
    quint16 port = 0;
    QList<QByteArray> failingPaths;
    while (ok && !arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("--accounts") && !arguments.isEmpty())
            accounts = arguments.takeFirst().toInt(&ok);
        else if (argument == QLatin1String("--delay") && !arguments.isEmpty())
            delayMs = arguments.takeFirst().toInt(&ok);
        else if (argument == QLatin1String("--fail") && !arguments.isEmpty())
            failingPaths.append(arguments.takeFirst().toUtf8());
        else
            port = argument.toUShort(&ok);
    }
    if (!ok || accounts < 1 || delayMs < 0) {
        std::fprintf(stderr, "usage: fake_connect_server [port] [--accounts N] [--delay MS] [--fail PATH]...\n");
        return 2;
    }

    // Signals are taken by sigwait below, so block them before the server's threads exist.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    fakes::FakeConnectServer server(port);
    server.setDelay(delayMs);  // a slow network, to try what happens while requests run
    fakes::Override failure;
    failure.status = 500;
    for (const QByteArray &path : std::as_const(failingPaths))
        server.setOverride(path, failure);
    QList<fakes::FakeAccount> keys;
    for (int i = 0; i < accounts; ++i) {
        keys.append(server.addAccount());
        server.setApps(keys.last().issuerId, fakes::sampleApps());
    }

    // Each sample app gets a plain icon of its own colour.
    fakes::FakeLookupServer lookup;
    const QList<QColor> colours{QColor(0x1e, 0x88, 0xe5), QColor(0x43, 0xa0, 0x47), QColor(0xe5, 0x39, 0x35),
                                QColor(0xfb, 0x8c, 0x00), QColor(0x8e, 0x24, 0xaa)};
    const QList<fakes::FakeApp> apps = fakes::sampleApps();
    for (qsizetype i = 0; i < apps.size(); ++i) {
        lookup.addApp(apps.at(i).id, testsupport::pngBytes(colours.at(i % colours.size()), 100));
    }
    fakes::FakeTranslatorServer translator;
    fakes::FakeEmailServer email;

    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/fake-connect-XXXXXX"));
    std::printf("Fake App Store Connect at %s\n", qPrintable(server.baseUrl()));
    std::printf("  VANTOREL_CONNECT_URL=%s\n", qPrintable(server.baseUrl()));
    for (const fakes::FakeAccount &account : std::as_const(keys)) {
        const QString keyPath = folder.filePath(QStringLiteral("AuthKey_%1.p8").arg(account.keyId));
        QFile keyFile(keyPath);
        if (!folder.isValid() || !keyFile.open(QIODevice::WriteOnly) || keyFile.write(account.privateKeyPem) < 0) {
            std::fprintf(stderr, "could not write the key file\n");
            return 1;
        }
        std::printf("  issuer id: %s\n", qPrintable(account.issuerId));
        std::printf("  key id:    %s\n", qPrintable(account.keyId));
        std::printf("  key file:  %s (removed on exit)\n", qPrintable(keyPath));
    }
    std::printf("Fake app lookup, translation and e-mail services:\n");
    std::printf("  VANTOREL_LOOKUP_URL=%s\n", qPrintable(lookup.baseUrl()));
    std::printf("  VANTOREL_TRANSLATOR_URL=%s\n", qPrintable(translator.baseUrl()));
    std::printf("  VANTOREL_EMAIL_URL=%s\n", qPrintable(email.baseUrl()));
    std::printf("Ctrl-C stops.\n");
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    // What was changed or sent, for checking by hand how often a request went out.
    for (const fakes::RecordedRequest &request : server.requests()) {
        if (request.method != "GET")
            std::printf("%s %s\n", request.method.constData(), request.target.constData());
    }
    for (const fakes::EmailRequest &request : email.requests())
        std::printf("E-mail received with the server token %s\n", request.token.constData());
    return 0;
}
