#pragma once

#include <memory>

#include "ui/dialog-frame.h"

class QMovie;

namespace Ui {
class OpenUSBHelpDialog;
}

// "如何开启USB调试模式": the phone's menu path to USB debugging, with an
// animation of the steps that follows the dialog's size.
class OpenUSBHelpDialog : public DialogFrame {
    Q_OBJECT

public:
    explicit OpenUSBHelpDialog(QWidget* parent = nullptr);
    ~OpenUSBHelpDialog() override;

    QMovie* movie() const { return movie_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void on_pushButton_usb_help_close_clicked();

private:
    std::unique_ptr<Ui::OpenUSBHelpDialog> ui;
    // Decoded only while the dialog lives: the animation is large.
    QMovie* movie_ = nullptr;
};
