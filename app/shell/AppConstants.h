#pragma once

#include <QString>
#include <QUrl>

namespace Vantorel::AppConstants {

inline const QString productName = QStringLiteral("Vantorel");

// The e-mail delivery service's server token for the feedback form, and the support mailbox that
// sends and receives the feedback.
inline const QString feedbackServerToken = QStringLiteral("7e2c9b1a-4f3d-4c8e-a5b6-0d9f8e7c6b5a");
inline const QString supportMailbox = QStringLiteral("feedback@vantorel.app");

inline const QUrl instagramUrl{QStringLiteral("https://www.instagram.com/vantorelapp/")};
inline const QUrl mastodonUrl{QStringLiteral("https://mastodon.social/@vantorel")};
inline const QUrl threadsUrl{QStringLiteral("https://www.threads.net/@vantorelapp")};
inline const QUrl xUrl{QStringLiteral("https://x.com/vantorelapp")};
inline const QUrl helpUrl{QStringLiteral("https://vantorel.app/")};

}  // namespace Vantorel::AppConstants
