#include "ui/resize-observer.h"

bool ResizeObserver::isInTopEdge(int, int) const {
    return false;
}

bool ResizeObserver::isInBottomEdge(int, int) const {
    return false;
}

bool ResizeObserver::isInLeftEdge(int, int) const {
    return false;
}

bool ResizeObserver::isInRightEdge(int, int) const {
    return false;
}

bool ResizeObserver::isInCaption(int, int) const {
    return false;
}

void ResizeObserver::onSizing(int, int*, int*, int*, int*) {}
