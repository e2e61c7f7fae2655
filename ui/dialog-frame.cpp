#include "ui/dialog-frame.h"

#include <QShowEvent>

#include "ui/frameless-helper.h"
#include "ui/qss-manager.h"
#include "zucam.h"

DialogFrame::DialogFrame(QWidget* parent) : QDialog(parent) {}

void DialogFrame::SetUpFrame(const QString& styleSheet, QWidget* caption, QWidget* closeButton) {
    caption_ = caption;
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    qss_ = new QssManager(this, false);
    qss_->SetStyleSheetFile(styleSheet);
    helper_ = new FramelessHelper(this, this);
    titleButtons.clear();
    if (closeButton)
        titleButtons.append(closeButton);
}

bool DialogFrame::isInCaption(int x, int y) const {
    if (!caption_)
        return false;
    const QPoint local = mapFromGlobal(QPoint(x, y));
    if (local.y() > caption_->height())
        return false;
    for (QWidget* button : titleButtons) {
        const QPoint inButton = button->mapFromGlobal(QPoint(x, y));
        if (button->isVisible() && button->rect().contains(inButton))
            return false;
    }
    return true;
}

void DialogFrame::showEvent(QShowEvent* event) {
    if (windowTitle().isEmpty() && parentWidget())
        setWindowTitle(parentWidget()->window()->windowTitle());
    QDialog::showEvent(event);
}

double DialogFrame::AppScaleFactor() {
    const ZuCam* app = ZuCam::instance();
    return app ? app->scaleFactor : 1.0;
}
