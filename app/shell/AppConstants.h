#pragma once

#include <QString>
#include <QUrl>

namespace Vantorel::AppConstants {

inline const QString productName = QStringLiteral("Vantorel");

// The e-mail delivery service's server token for the feedback form: VANTOREL_EMAIL_TOKEN when
// set, else the one the build was configured with (the CMake variable VANTOREL_FEEDBACK_TOKEN).
QString feedbackServerToken();
inline constexpr const char *feedbackTokenVariable = "VANTOREL_EMAIL_TOKEN";

// The support mailbox that sends and receives the feedback.
inline const QString supportMailbox = QStringLiteral("feedback@vantorel.app");

inline const QUrl instagramUrl{QStringLiteral("https://www.instagram.com/vantorelapp/")};
inline const QUrl mastodonUrl{QStringLiteral("https://mastodon.social/@vantorel")};
inline const QUrl threadsUrl{QStringLiteral("https://www.threads.net/@vantorelapp")};
inline const QUrl xUrl{QStringLiteral("https://x.com/vantorelapp")};
inline const QUrl helpUrl{QStringLiteral("https://vantorel.app/")};

}  // namespace Vantorel::AppConstants
