#include "app/shell/AppConstants.h"
#include "app/shell/FeedbackToken.h"

namespace Vantorel::AppConstants {

QString feedbackServerToken()
{
    const QString fromEnvironment = qEnvironmentVariable(feedbackTokenVariable).trimmed();
    return fromEnvironment.isEmpty() ? QStringLiteral(VANTOREL_FEEDBACK_TOKEN) : fromEnvironment;
}

}  // namespace Vantorel::AppConstants
