#pragma once

#include <QString>
#include <QStringList>

namespace Fennick {

// A territory of the App Store: its flag emoji and English name.
class Country {
public:
    const QString &flag() const { return m_flag; }
    const QString &name() const { return m_name; }

    // The row for a three-letter territory code as the reviews carry it (exact, case-sensitive);
    // nullptr for a code outside the table.
    static const Country *forTerritory(const QString &territory);
    // Every territory code of the table, sorted.
    static QStringList territories();

private:
    Country(QString flag, QString name) : m_flag(std::move(flag)), m_name(std::move(name)) {}
    friend struct CountryTable;

    QString m_flag;
    QString m_name;
};

}  // namespace Fennick
