#include "ui/message-box-dialog.h"

#include <QFont>
#include <QFontMetrics>
#include <QStringList>
#include <algorithm>

#include "ui/ui-setup.h"
#include "ui_message-box-dialog.h"

MessageBoxDialog::MessageBoxDialog(QWidget* parent)
    : DialogFrame(parent), ui(new Ui::MessageBoxDialog) {
    ui->setupUi(this);
    SetUpFrame(QStringLiteral(":/qss/dialog/message-box-dialog.qss"), ui->widget_title,
               ui->pushButton_message_box_close);
}

MessageBoxDialog::~MessageBoxDialog() = default;

void MessageBoxDialog::SetMessage(const QString& text) {
    setFixedWidth(MessageWidth(text, AppScaleFactor()));
    ui->label_msg->setText(text);
}

int MessageBoxDialog::MessageWidth(const QString& text, double scale) {
    // The font must already map to the installed CJK font, or Chinese lines
    // are measured in a fall-back font of other widths.
    SetUpUiResources();
    const QFontMetrics metrics(QFont(QStringLiteral("Microsoft YaHei"), 10));
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margin = static_cast<int>(60 * scale);
    return static_cast<int>(std::max<double>(widest + margin, 260 * scale));
}

bool MessageBoxDialog::Show(QWidget* parent, const QString& text, bool question) {
    MessageBoxDialog box(parent);
    box.SetMessage(text);
    if (question)
        box.SetButtons(2, tr("确定"), tr("取消"));
    else
        box.SetButtons(1, tr("确定"));
    return box.exec() == kResultOk;
}

void MessageBoxDialog::SetButtons(int mode, const QString& okText, const QString& cancelText) {
    switch (mode) {
        case 0:
            ui->pushButton_ok->hide();
            ui->pushButton_cancel->hide();
            break;
        case 1:
            ui->pushButton_ok->setText(okText);
            ui->pushButton_ok->show();
            ui->pushButton_cancel->hide();
            break;
        case 2:
            ui->pushButton_ok->setText(okText);
            ui->pushButton_cancel->setText(cancelText);
            ui->pushButton_ok->show();
            ui->pushButton_cancel->show();
            break;
        default:
            break;
    }
}

void MessageBoxDialog::on_pushButton_ok_clicked() {
    done(kResultOk);
}

void MessageBoxDialog::on_pushButton_cancel_clicked() {
    done(kResultCancel);
}

void MessageBoxDialog::on_pushButton_message_box_close_clicked() {
    done(kResultClose);
}
