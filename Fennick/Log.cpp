#include "Fennick/Log.h"

namespace Fennick::Log {

// Function-local statics: created once on first use, also under concurrent first use.
#define VANTOREL_LOG_CATEGORY(function, name)                                                      \
    const QLoggingCategory &function()                                                           \
    {                                                                                            \
        static const QLoggingCategory category("Vantorel." name, QtInfoMsg);                     \
        return category;                                                                         \
    }

VANTOREL_LOG_CATEGORY(model, "model")
VANTOREL_LOG_CATEGORY(icon, "icon")
VANTOREL_LOG_CATEGORY(widget, "widget")
VANTOREL_LOG_CATEGORY(importer, "importer")
VANTOREL_LOG_CATEGORY(app, "app")

#undef VANTOREL_LOG_CATEGORY

}  // namespace Fennick::Log
