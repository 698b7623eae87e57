#include "platform/ScreenPlacement.h"

#include <algorithm>

namespace platform {

std::optional<QRect> placeOnScreens(const QRect &window, const QList<QRect> &availableAreas)
{
    if (!window.isValid())
        return std::nullopt;
    const QRect *best = nullptr;
    qint64 bestOverlap = 0;
    for (const QRect &area : availableAreas) {
        if (!area.isValid())
            continue;
        const QRect overlap = area.intersected(window);
        const qint64 size = qint64(overlap.width()) * overlap.height();
        if (size > bestOverlap) {
            best = &area;
            bestOverlap = size;
        }
    }
    if (!best)
        return std::nullopt;

    QRect placed(window.topLeft(), window.size().boundedTo(best->size()));
    // The far edges back first, then the near ones: the latter win where the sizes are equal.
    placed.moveRight(std::min(placed.right(), best->right()));
    placed.moveBottom(std::min(placed.bottom(), best->bottom()));
    placed.moveLeft(std::max(placed.left(), best->left()));
    placed.moveTop(std::max(placed.top(), best->top()));
    return placed;
}

}  // namespace platform
