#include "Fennick/Country.h"

#include <QHash>

namespace Fennick {

struct CountryTable {
    QHash<QString, Country> rows;

    CountryTable()
    {
        // territory code, the two letters its flag spells, English name
        const char *const table[][3] = {
            {"USA", "US", "United States"}, {"ARG", "AR", "Argentina"},   {"AUS", "AU", "Australia"},
            {"AUT", "AT", "Austria"},       {"BLR", "BY", "Belarus"},     {"BEL", "BE", "Belgium"},
            {"BRA", "BR", "Brazil"},        {"CAN", "CA", "Canada"},      {"CHN", "CN", "China"},
            {"CRI", "CR", "Costa Rica"},    {"DNK", "DK", "Denmark"},     {"FIN", "FI", "Finland"},
            {"FRA", "FR", "France"},        {"DEU", "DE", "Germany"},     {"HKG", "HK", "Hong Kong"},
            {"HUN", "HU", "Hungary"},       {"IDN", "ID", "Indonesia"},   {"ITA", "IT", "Italy"},
            {"IRL", "IE", "Ireland"},       {"JPN", "JP", "Japan"},       {"KAZ", "KZ", "Kazakhstan"},
            {"KWT", "KW", "Kuwait"},        {"MEX", "MX", "Mexico"},      {"NLD", "NL", "Netherlands"},
            {"NZL", "NZ", "New Zealand"},   {"NOR", "NO", "Norway"},      {"PHL", "PH", "Philippines"},
            {"POL", "PL", "Poland"},        {"PRT", "PT", "Portugal"},    {"RUS", "RU", "Russia"},
            {"KOR", "KR", "South Korea"},   {"ESP", "ES", "Spain"},       {"SWE", "SE", "Sweden"},
            {"CHE", "CH", "Switzerland"},   {"TWN", "TW", "Taiwan"},      {"THA", "TH", "Thailand"},
            {"UKR", "UA", "Ukraine"},       {"GBR", "GB", "United Kingdom"},
        };
        for (const auto &[code, letters, name] : table)
            rows.insert(QString::fromLatin1(code), Country(flagFor(letters), QString::fromLatin1(name)));
    }

    // Two regional-indicator symbols, U+1F1E6 standing for "A".
    static QString flagFor(const char *letters)
    {
        const char32_t symbols[] = {char32_t(0x1F1E6 + (letters[0] - 'A')), char32_t(0x1F1E6 + (letters[1] - 'A'))};
        return QString::fromUcs4(symbols, 2);
    }
};

namespace {
const CountryTable &countryTable()
{
    static const CountryTable table;  // built once, also under concurrent first use
    return table;
}
}  // namespace

const Country *Country::forTerritory(const QString &territory)
{
    const CountryTable &table = countryTable();
    const auto it = table.rows.constFind(territory);
    return it == table.rows.cend() ? nullptr : &it.value();
}

QStringList Country::territories()
{
    QStringList codes = countryTable().rows.keys();
    codes.sort();
    return codes;
}

}  // namespace Fennick
