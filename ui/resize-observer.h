#pragma once

// What a frameless window tells its FramelessHelper about itself: which
// points (screen coordinates) are resize edges and which are the caption that
// drags the window. The base answers "none" everywhere, so a window that
// overrides nothing is neither movable nor resizable from its body.
class ResizeObserver {
public:
    // Edge mask of onSizing.
    enum SizingEdge { kSizingTop = 1, kSizingBottom = 2, kSizingLeft = 4, kSizingRight = 8 };

    virtual ~ResizeObserver() = default;

    virtual bool isInTopEdge(int x, int y) const;
    virtual bool isInBottomEdge(int x, int y) const;
    virtual bool isInLeftEdge(int x, int y) const;
    virtual bool isInRightEdge(int x, int y) const;
    virtual bool isInCaption(int x, int y) const;
    // While the user drags an edge: may change the proposed sides of the
    // window rectangle. The window system owns live resizing on Linux, so
    // nothing calls this there; it stays for windows that constrain sizes.
    virtual void onSizing(int edges, int* top, int* bottom, int* left, int* right);
};
