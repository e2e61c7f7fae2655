#pragma once

#include <Qt>

class ResizeObserver;

// Where a point of a frameless window lies, in the classic window-system hit
// codes, decided only from the observer's answers.
namespace frameless {

enum HitCode {
    kHitClient = 1,
    kHitCaption = 2,
    kHitLeft = 10,
    kHitRight = 11,
    kHitTop = 12,
    kHitTopLeft = 13,
    kHitTopRight = 14,
    kHitBottom = 15,
    kHitBottomLeft = 16,
    kHitBottomRight = 17,
};

// (x, y) in screen coordinates. Corners win over edges, edges over the
// caption, so a caption that reaches the border still leaves the border
// resizable.
int HitTest(const ResizeObserver& observer, int x, int y);

// The window edges a resize code grabs; none for client and caption.
Qt::Edges HitEdges(int code);

// The cursor that announces a resize code; Qt::ArrowCursor otherwise.
Qt::CursorShape HitCursor(int code);

}  // namespace frameless
