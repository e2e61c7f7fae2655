#pragma once

#include <QString>
#include <memory>

#include "ui/dialog-frame.h"

namespace Ui {
class MessageBoxDialog;
}

// ZuCam's message box for every error and question. Create one per message,
// set message and buttons, run it modally (exec) and compare the result
// with 1:
//
//   MessageBoxDialog box(window());
//   box.SetMessage(tr("当前选择路径无写入权限！"));
//   box.SetButtons(1, tr("确定"));
//   box.exec();
class MessageBoxDialog : public DialogFrame {
    Q_OBJECT

public:
    // exec() results.
    enum Result { kResultClose = -1, kResultCancel = 0, kResultOk = 1 };

    explicit MessageBoxDialog(QWidget* parent = nullptr);
    ~MessageBoxDialog() override;

    // Lines split at "\n"; the box is as wide as the widest line plus a
    // margin, at least 260 (both times the application's scale factor).
    void SetMessage(const QString& text);
    // 0: no buttons; 1: OK only, with okText; 2: OK and cancel. Other modes
    // change nothing.
    void SetButtons(int mode, const QString& okText, const QString& cancelText = QString());

    // One box over `parent`, modal: "确定" and "取消" for a question, "确定"
    // alone otherwise. True when "确定" was chosen.
    static bool Show(QWidget* parent, const QString& text, bool question);

    // The width SetMessage gives a message, without a dialog.
    static int MessageWidth(const QString& text, double scale);

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();
    void on_pushButton_message_box_close_clicked();

private:
    std::unique_ptr<Ui::MessageBoxDialog> ui;
};
