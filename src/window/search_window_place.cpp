#include "window/search_window_place.h"

#include <algorithm>

namespace {

constexpr int kGap = 8;

// A free area of the screen and where in it the window goes: towards the form.
struct FreeArea {
    QRect area;
    enum class Side { Right, Left, Below, Above } side;
};

QRect placeIn(const FreeArea& free, const QSize& size, const QRect& formFrame) {
    const QRect& area = free.area;
    const auto clampX = [&](int x) {
        return std::clamp(x, area.left(), area.right() + 1 - size.width());
    };
    const auto clampY = [&](int y) {
        return std::clamp(y, area.top(), area.bottom() + 1 - size.height());
    };
    switch (free.side) {
        case FreeArea::Side::Right:
            return {QPoint(area.left(), clampY(formFrame.top())), size};
        case FreeArea::Side::Left:
            return {QPoint(area.right() + 1 - size.width(), clampY(formFrame.top())), size};
        case FreeArea::Side::Below:
            return {QPoint(clampX(formFrame.left()), area.top()), size};
        case FreeArea::Side::Above:
            return {QPoint(clampX(formFrame.left()), area.bottom() + 1 - size.height()), size};
    }
    return {};
}

// The areas of `available` right of, left of, below and above `block`, a gap away from it.
std::vector<FreeArea> around(const QRect& available, const QRect& block) {
    using Side = FreeArea::Side;
    return {
        {QRect(QPoint(block.right() + 1 + kGap, available.top()), available.bottomRight()),
         Side::Right},
        {QRect(available.topLeft(), QPoint(block.left() - 1 - kGap, available.bottom())),
         Side::Left},
        {QRect(QPoint(available.left(), block.bottom() + 1 + kGap), available.bottomRight()),
         Side::Below},
        {QRect(available.topLeft(), QPoint(available.right(), block.top() - 1 - kGap)),
         Side::Above},
    };
}

}  // namespace

QRect searchWindowPlace(const QRect& available, const QRect& formFrame,
                        const std::vector<QRect>& fields, const QSize& preferred,
                        const QSize& minimum) {
    const QSize whole = preferred.boundedTo(available.size());
    // Beside the whole form at the window's own size.
    for (const FreeArea& free : around(available, formFrame)) {
        if (free.area.width() >= whole.width() && free.area.height() >= whole.height()) {
            return placeIn(free, whole, formFrame);
        }
    }
    // Over the form but beside its fields, as large as the place allows.
    QRect fieldBlock;
    for (const QRect& field : fields) fieldBlock |= field;
    QRect best;
    if (!fieldBlock.isEmpty()) {
        for (const FreeArea& free : around(available, fieldBlock)) {
            const QSize size = whole.boundedTo(free.area.size());
            if (size.width() < minimum.width() || size.height() < minimum.height()) continue;
            const QRect place = placeIn(free, size, formFrame);
            if (place.width() * place.height() > best.width() * best.height()) best = place;
        }
    }
    if (!best.isEmpty()) return best;
    // No such room: at the foot of the screen, at the form's left edge where it fits.
    const int left =
        std::clamp(formFrame.left(), available.left(), available.right() + 1 - whole.width());
    return {QPoint(left, available.bottom() + 1 - whole.height()), whole};
}
