#include "ui/hit-test.h"

#include "ui/resize-observer.h"

namespace frameless {

int HitTest(const ResizeObserver& observer, int x, int y) {
    const bool top = observer.isInTopEdge(x, y);
    const bool bottom = observer.isInBottomEdge(x, y);
    const bool left = observer.isInLeftEdge(x, y);
    const bool right = observer.isInRightEdge(x, y);
    if (left && (top || bottom))
        return top ? kHitTopLeft : kHitBottomLeft;
    if (right && (top || bottom))
        return top ? kHitTopRight : kHitBottomRight;
    if (left)
        return kHitLeft;
    if (top)
        return kHitTop;
    if (right)
        return kHitRight;
    if (bottom)
        return kHitBottom;
    if (observer.isInCaption(x, y))
        return kHitCaption;
    return kHitClient;
}

Qt::Edges HitEdges(int code) {
    switch (code) {
        case kHitLeft:
            return Qt::LeftEdge;
        case kHitRight:
            return Qt::RightEdge;
        case kHitTop:
            return Qt::TopEdge;
        case kHitBottom:
            return Qt::BottomEdge;
        case kHitTopLeft:
            return Qt::TopEdge | Qt::LeftEdge;
        case kHitTopRight:
            return Qt::TopEdge | Qt::RightEdge;
        case kHitBottomLeft:
            return Qt::BottomEdge | Qt::LeftEdge;
        case kHitBottomRight:
            return Qt::BottomEdge | Qt::RightEdge;
        default:
            return {};
    }
}

Qt::CursorShape HitCursor(int code) {
    switch (code) {
        case kHitLeft:
        case kHitRight:
            return Qt::SizeHorCursor;
        case kHitTop:
        case kHitBottom:
            return Qt::SizeVerCursor;
        case kHitTopLeft:
        case kHitBottomRight:
            return Qt::SizeFDiagCursor;
        case kHitTopRight:
        case kHitBottomLeft:
            return Qt::SizeBDiagCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace frameless
