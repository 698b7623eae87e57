#pragma once

#include <QString>

namespace platform::store {

// The form in which searchable text is stored beside the original and in which search text is
// compared: compatibility-decomposed, without combining marks, case-folded. "Café" and "CAFE"
// both become "cafe".
QString foldedForSearch(const QString &text);

}  // namespace platform::store
