#include "window-stacking.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace {

// The top-level window a dialog belongs to; null for a window of its own.
QWidget* Owner(QWidget* dialog) {
    QWidget* parent = dialog->parentWidget();
    return parent ? parent->window() : nullptr;
}

bool StaysOnTop(const QWidget* window) {
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

}  // namespace

WindowStacking::WindowStacking(QObject* parent) : QObject(parent) {}

void WindowStacking::ApplyHint(QWidget* window, bool onTop) {
    if (StaysOnTop(window) == onTop)
        return;
    const Qt::WindowFlags flags = window->windowFlags().setFlag(Qt::WindowStaysOnTopHint, onTop);
    window->overrideWindowFlags(flags);
    if (QWindow* handle = window->windowHandle())
        handle->setFlags(flags);
}

void WindowStacking::SetStaysOnTop(QWidget* window, bool onTop) {
    if (!window)
        return;
    ApplyHint(window, onTop);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget == window || !widget->isVisible() || Owner(widget) != window)
            continue;
        ApplyHint(widget, onTop);
        widget->raise();
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void WindowStacking::FollowOwner(QWidget* dialog) {
    if (!dialog || !dialog->isWindow())
        return;
    QWidget* owner = Owner(dialog);
    if (owner && owner != dialog)
        ApplyHint(dialog, StaysOnTop(owner));
}

bool WindowStacking::eventFilter(QObject* watched, QEvent* event) {
    // The show event comes before the window is mapped, so the hint is there
    // from the first moment the dialog is on screen.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->windowType() != Qt::ToolTip &&
            widget->windowType() != Qt::Popup)
            FollowOwner(widget);
    }
    return QObject::eventFilter(watched, event);
}
