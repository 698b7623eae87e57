#pragma once

#include <QByteArray>
#include <QString>

namespace Fennick {

// What every App Store Connect call takes: the API key's ids and the key file's bytes.
struct Credentials {
    QString keyId;
    QString issId;
    QByteArray p8;

    friend bool operator==(const Credentials &, const Credentials &) = default;
};

}  // namespace Fennick
