#pragma once

#include <QRandomGenerator>
#include <QStringList>

namespace bench {

// A made-up review's title (4 words) and body (20 to 39 words, about 1 in 100 with "CRASHES"),
// from a small vocabulary with accented words, so that searches and folding have work to do.
inline void makeReviewText(QRandomGenerator &random, QString *title, QString *body)
{
    static const QStringList words = {
        QStringLiteral("great"), QStringLiteral("app"), QStringLiteral("love"), QStringLiteral("the"),
        QStringLiteral("new"), QStringLiteral("update"), QStringLiteral("but"), QStringLiteral("it"),
        QStringLiteral("keeps"), QStringLiteral("asking"), QStringLiteral("for"), QStringLiteral("login"),
        QStringLiteral("très"), QStringLiteral("bien"), QStringLiteral("café"), QStringLiteral("Überall"),
        QStringLiteral("schnell"), QStringLiteral("please"), QStringLiteral("add"), QStringLiteral("dark"),
        QStringLiteral("mode"), QStringLiteral("sync"), QStringLiteral("works"), QStringLiteral("fine"),
        QStringLiteral("on"), QStringLiteral("my"), QStringLiteral("phone"), QStringLiteral("and"),
        QStringLiteral("tablet"), QStringLiteral("Support"), QStringLiteral("answered"), QStringLiteral("quickly")};
    QStringList titleWords, bodyWords;
    for (int w = 0; w < 4; ++w)
        titleWords.append(words[random.bounded(int(words.size()))]);
    const int length = 20 + random.bounded(20);
    for (int w = 0; w < length; ++w)
        bodyWords.append(words[random.bounded(int(words.size()))]);
    if (random.bounded(100) == 0)
        bodyWords.insert(random.bounded(int(bodyWords.size())), QStringLiteral("CRASHES"));
    *title = titleWords.join(QLatin1Char(' '));
    *body = bodyWords.join(QLatin1Char(' '));
}

}  // namespace bench
