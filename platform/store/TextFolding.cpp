#include "platform/store/TextFolding.h"

namespace platform::store {

QString foldedForSearch(const QString &text)
{
    // Most review text is plain ASCII; lower-casing it needs no Unicode tables.
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        QString folded = text;
        for (QChar &c : folded) {
            const char16_t u = c.unicode();
            if (u >= 'A' && u <= 'Z')
                c = QChar(u + ('a' - 'A'));
        }
        return folded;
    }
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining
            && category != QChar::Mark_Enclosing)
            stripped.append(c);
    }
    return stripped.toCaseFolded();
}

}  // namespace platform::store
