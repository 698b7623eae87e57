#pragma once

#include "platform/Error.h"

namespace platform::store {

// Failures of the store. `details` carries what a developer needs (path, SQLite's own text)
// next to the user-facing description.
class StoreError : public platform::Error {
public:
    enum Code : qint64 {
        CannotOpen = 1,
        IncompatibleSchema = 2,
        SaveFailed = 3,
        FetchFailed = 4,
        InvalidRequest = 5,
        WrongThread = 6,
    };
    static inline const QString errorDomain = QStringLiteral("VantorelStore");

    StoreError(Code code, const QString &description, QString details = {});

    const QString &details() const noexcept { return m_details; }
    void raise() const override { throw *this; }
    StoreError *clone() const override { return new StoreError(*this); }

private:
    QString m_details;
};

}  // namespace platform::store
