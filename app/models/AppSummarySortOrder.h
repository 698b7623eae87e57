#pragma once

#include <QString>
#include <optional>

namespace Vantorel {

// The orders of an app's review list; the integer is what "sortOrderSetting" stores.
enum class AppSummarySortOrder { dateAscending = 0, dateDescending = 1, ratingAscending = 2, ratingDescending = 3 };

inline constexpr AppSummarySortOrder allSortOrders[] = {
    AppSummarySortOrder::dateAscending, AppSummarySortOrder::dateDescending, AppSummarySortOrder::ratingAscending,
    AppSummarySortOrder::ratingDescending};

// No order for a value outside 0-3.
inline std::optional<AppSummarySortOrder> sortOrderFromRawValue(qint64 raw)
{
    if (raw < 0 || raw > 3)
        return std::nullopt;
    return static_cast<AppSummarySortOrder>(raw);
}

// Plain labels, not translated: an arrow, a blank, then "Date" or "Rating".
inline QString label(AppSummarySortOrder order)
{
    switch (order) {
    case AppSummarySortOrder::dateAscending: return QStringLiteral("\u2191 Date");
    case AppSummarySortOrder::dateDescending: return QStringLiteral("\u2193 Date");
    case AppSummarySortOrder::ratingAscending: return QStringLiteral("\u2191 Rating");
    case AppSummarySortOrder::ratingDescending: return QStringLiteral("\u2193 Rating");
    }
    return {};
}

// The review attribute the order sorts by ("created" or "rating") and its direction.
inline QString sortKey(AppSummarySortOrder order)
{
    return order == AppSummarySortOrder::dateAscending || order == AppSummarySortOrder::dateDescending
               ? QStringLiteral("created")
               : QStringLiteral("rating");
}
inline bool isAscending(AppSummarySortOrder order)
{
    return order == AppSummarySortOrder::dateAscending || order == AppSummarySortOrder::ratingAscending;
}

}  // namespace Vantorel
