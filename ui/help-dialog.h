#pragma once

#include <QString>
#include <memory>

#include "ui/dialog-frame.h"

namespace Ui {
class HelpDialog;
}

// "使用帮助": where to get the phone app and how to connect, over Wi-Fi or
// over USB, one set of steps at a time.
class HelpDialog : public DialogFrame {
    Q_OBJECT

public:
    explicit HelpDialog(QWidget* parent = nullptr);
    ~HelpDialog() override;

public slots:
    void slot_openUrl(QString url);

private slots:
    void on_pushButton_help_close_clicked();
    void on_pushButton_wireless_help_clicked();
    void on_pushButton_usb_help_clicked();

private:
    void ShowDownloadHints(const QString& site);
    void ShowSteps(bool wireless);

    std::unique_ptr<Ui::HelpDialog> ui;
};
