#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QWindow;
class ResizeObserver;

// Gives a frameless top-level widget what a window frame would: dragging by
// its caption, resizing by its edges and resize cursors over them. The
// observer decides which points are which (frameless::HitTest); a left press
// there hands the gesture to the window system (QWindow::startSystemMove /
// startSystemResize, which work on X11 and Wayland), and hovering an edge
// shows the matching resize cursor. Where the window system refuses, the
// helper moves or resizes the window itself, asking the observer's onSizing
// about each new rectangle.
//
// Helpers are found through one process-wide registry keyed by native window
// id, fed as the widget's native window appears; one application-wide filter
// routes the windows' mouse events through it. A destroyed helper leaves the
// registry, so no event ever reaches a helper that is gone.
class FramelessHelper : public QObject {
    Q_OBJECT

public:
    // A child of `widget`. Only a widget whose flags already hold
    // Qt::FramelessWindowHint is watched: set the flags first.
    FramelessHelper(ResizeObserver* observer, QWidget* widget);
    ~FramelessHelper() override;

    ResizeObserver* observer() const { return observer_; }
    QWidget* widget() const { return widget_; }

    // The helper registered for a native window id, or null.
    static FramelessHelper* Find(WId id);

signals:
    // A left press the helper took over: frameless::kHitCaption for a move,
    // an edge code for a resize. Emitted before the window system is asked.
    void sig_systemGesture(int hitCode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class FramelessEventFilter;

    void Register(WId id);
    void Unregister();
    // The registry's route: true when the event is consumed.
    bool HandleWindowEvent(QWindow* window, QEvent* event);
    bool OnPress(QWindow* window, const QPoint& global);
    void FollowPointer(QWindow* window, const QPoint& global);
    QRect ResizedGeometry(const QPoint& global) const;
    void OnHover(int hitCode);

    ResizeObserver* observer_;
    QPointer<QWidget> widget_;
    WId registeredId_ = 0;
    // The resize cursor this helper put on the widget, if any.
    bool cursorSet_ = false;
    Qt::CursorShape cursorShape_ = Qt::ArrowCursor;
    // A gesture the window system refused (no _NET_WM_MOVERESIZE support):
    // the helper follows the pointer itself until the button is released.
    // 0 for none, else the hit code of the press.
    int manualCode_ = 0;
    QPoint pressGlobal_;
    QRect startGeometry_;
};
