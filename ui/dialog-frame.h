#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

#include "ui/resize-observer.h"

class FramelessHelper;
class QssManager;

// The frame every ZuCam dialog shares: a frameless dialog styled from its own
// stylesheet resource, dragged by its caption widget (except where a title
// button sits), never resized by its edges.
//
// A dialog derives from DialogFrame, sets up its form and then calls
// SetUpFrame before its own set-up:
//
//   SettingDialog::SettingDialog(QWidget* parent)
//       : DialogFrame(parent), ui(new Ui::SettingDialog) {
//       ui->setupUi(this);
//       SetUpFrame(":/qss/dialog/setting-dialog.qss", ui->widget_set_title,
//                  ui->pushButton_title_close);
//       ...
//   }
class DialogFrame : public QDialog, public ResizeObserver {
    Q_OBJECT

public:
    // The caption rule: the point (screen coordinates) lies within the height
    // of the caption widget and inside none of titleButtons.
    bool isInCaption(int x, int y) const override;

    FramelessHelper* framelessHelper() const { return helper_; }

    // The application's scale factor (1 when the application object has not
    // measured one).
    static double AppScaleFactor();

protected:
    explicit DialogFrame(QWidget* parent);

    // A dialog without a title of its own (a message box) carries its
    // owner's, so the task bar and the window list never show it unnamed.
    void showEvent(QShowEvent* event) override;

    // Window flags Dialog | FramelessWindowHint, the stylesheet, the
    // FramelessHelper, and titleButtons = { closeButton }.
    void SetUpFrame(const QString& styleSheet, QWidget* caption, QWidget* closeButton);

    // Widgets inside the caption that stay clickable (not drag areas).
    QList<QWidget*> titleButtons;

private:
    QPointer<QWidget> caption_;
    QssManager* qss_ = nullptr;
    FramelessHelper* helper_ = nullptr;
};
