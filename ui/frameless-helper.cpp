#include "ui/frameless-helper.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QMouseEvent>
#include <QWindow>

#include "ui/hit-test.h"
#include "ui/resize-observer.h"

namespace {

QHash<WId, FramelessHelper*>& Registry() {
    static QHash<WId, FramelessHelper*> registry;
    return registry;
}

}  // namespace

// Sees every event of the application once the first frameless window has a
// native window, and hands the mouse events of registered windows to their
// helper. Events of other objects cost one type check.
class FramelessEventFilter : public QObject {
public:
    static void InstallOnce() {
        static FramelessEventFilter* filter = nullptr;
        if (filter || !QCoreApplication::instance())
            return;
        filter = new FramelessEventFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseMove:
            case QEvent::MouseButtonRelease:
            case QEvent::Leave:
                break;
            default:
                return false;
        }
        if (!watched->isWindowType())
            return false;
        auto* window = static_cast<QWindow*>(watched);
        // winId() would create a native window for one that has none.
        if (!window->handle())
            return false;
        FramelessHelper* helper = Registry().value(window->winId(), nullptr);
        if (!helper || !helper->observer())
            return false;
        return helper->HandleWindowEvent(window, event);
    }

private:
    using QObject::QObject;
};

FramelessHelper::FramelessHelper(ResizeObserver* observer, QWidget* widget)
    : QObject(widget), observer_(observer), widget_(widget) {
    if (widget && widget->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        widget->installEventFilter(this);
        // A widget that is already native never announces its id again.
        if (widget->testAttribute(Qt::WA_WState_Created))
            Register(widget->winId());
    }
}

FramelessHelper::~FramelessHelper() {
    Unregister();
}

FramelessHelper* FramelessHelper::Find(WId id) {
    return Registry().value(id, nullptr);
}

bool FramelessHelper::eventFilter(QObject* watched, QEvent* event) {
    // The filter stays: a window whose flags change (stay on top) gets a new
    // native window, which must stay draggable.
    if (watched == widget_ && event->type() == QEvent::WinIdChange) {
        Unregister();
        if (widget_->testAttribute(Qt::WA_WState_Created))
            Register(widget_->internalWinId());
    }
    return QObject::eventFilter(watched, event);
}

void FramelessHelper::Register(WId id) {
    if (id == 0)
        return;
    FramelessEventFilter::InstallOnce();
    // The first helper of a window keeps it.
    if (Registry().contains(id))
        return;
    Registry().insert(id, this);
    registeredId_ = id;
}

void FramelessHelper::Unregister() {
    if (registeredId_ != 0 && Registry().value(registeredId_) == this)
        Registry().remove(registeredId_);
    registeredId_ = 0;
}

bool FramelessHelper::HandleWindowEvent(QWindow* window, QEvent* event) {
    if (event->type() == QEvent::Leave) {
        OnHover(frameless::kHitClient);
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint global = mouse->globalPos();
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton)
                return false;
            return OnPress(window, global);
        case QEvent::MouseMove:
            if (manualCode_ != 0) {
                if (mouse->buttons() & Qt::LeftButton) {
                    FollowPointer(window, global);
                    return true;
                }
                manualCode_ = 0;
            }
            if (mouse->buttons() == Qt::NoButton)
                OnHover(frameless::HitTest(*observer_, global.x(), global.y()));
            return false;
        case QEvent::MouseButtonRelease:
            if (manualCode_ != 0 && mouse->button() == Qt::LeftButton) {
                manualCode_ = 0;
                return true;
            }
            return false;
        default:
            return false;
    }
}

bool FramelessHelper::OnPress(QWindow* window, const QPoint& global) {
    const int code = frameless::HitTest(*observer_, global.x(), global.y());
    if (code == frameless::kHitClient)
        return false;
    emit sig_systemGesture(code);
    const bool started = code == frameless::kHitCaption
                             ? window->startSystemMove()
                             : window->startSystemResize(frameless::HitEdges(code));
    if (!started) {
        manualCode_ = code;
        pressGlobal_ = global;
        startGeometry_ =
            code == frameless::kHitCaption ? window->frameGeometry() : window->geometry();
    }
    return true;
}

void FramelessHelper::FollowPointer(QWindow* window, const QPoint& global) {
    if (manualCode_ == frameless::kHitCaption) {
        window->setFramePosition(startGeometry_.topLeft() + global - pressGlobal_);
        return;
    }
    if (widget_)
        widget_->setGeometry(ResizedGeometry(global));
}

QRect FramelessHelper::ResizedGeometry(const QPoint& global) const {
    const Qt::Edges edges = frameless::HitEdges(manualCode_);
    const QPoint delta = global - pressGlobal_;
    const QSize least = widget_->minimumSize();
    const QSize most = widget_->maximumSize();
    int left = startGeometry_.left();
    int top = startGeometry_.top();
    int right = left + startGeometry_.width();
    int bottom = top + startGeometry_.height();
    // The side being dragged moves; the opposite one stays where it was.
    if (edges & Qt::LeftEdge)
        left = qBound(right - most.width(), left + delta.x(), right - least.width());
    if (edges & Qt::RightEdge)
        right = qBound(left + least.width(), right + delta.x(), left + most.width());
    if (edges & Qt::TopEdge)
        top = qBound(bottom - most.height(), top + delta.y(), bottom - least.height());
    if (edges & Qt::BottomEdge)
        bottom = qBound(top + least.height(), bottom + delta.y(), top + most.height());
    int mask = 0;
    mask |= (edges & Qt::TopEdge) ? ResizeObserver::kSizingTop : 0;
    mask |= (edges & Qt::BottomEdge) ? ResizeObserver::kSizingBottom : 0;
    mask |= (edges & Qt::LeftEdge) ? ResizeObserver::kSizingLeft : 0;
    mask |= (edges & Qt::RightEdge) ? ResizeObserver::kSizingRight : 0;
    observer_->onSizing(mask, &top, &bottom, &left, &right);
    return QRect(left, top, right - left, bottom - top);
}

void FramelessHelper::OnHover(int hitCode) {
    if (!widget_)
        return;
    const Qt::Edges edges = frameless::HitEdges(hitCode);
    if (edges) {
        const Qt::CursorShape shape = frameless::HitCursor(hitCode);
        if (!cursorSet_ || cursorShape_ != shape) {
            // On the top-level widget, so every child without a cursor of its
            // own shows it too.
            widget_->setCursor(shape);
            cursorSet_ = true;
            cursorShape_ = shape;
        }
    } else if (cursorSet_) {
        widget_->unsetCursor();
        cursorSet_ = false;
    }
}
