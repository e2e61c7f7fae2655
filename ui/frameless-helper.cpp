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
            if (manualMove_) {
                if (mouse->buttons() & Qt::LeftButton) {
                    window->setFramePosition(global - moveOffset_);
                    return true;
                }
                manualMove_ = false;
            }
            if (mouse->buttons() == Qt::NoButton)
                OnHover(frameless::HitTest(*observer_, global.x(), global.y()));
            return false;
        case QEvent::MouseButtonRelease:
            if (manualMove_ && mouse->button() == Qt::LeftButton) {
                manualMove_ = false;
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
    if (code == frameless::kHitCaption) {
        // Window managers without _NET_WM_MOVERESIZE refuse; then the helper
        // follows the pointer itself until the button is released.
        if (!window->startSystemMove()) {
            manualMove_ = true;
            moveOffset_ = global - window->framePosition();
        }
    } else {
        window->startSystemResize(frameless::HitEdges(code));
    }
    return true;
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
