#include "ui/open-usb-help-dialog.h"

#include <QEvent>
#include <QMovie>
#include <QResizeEvent>

#include "ui_open-usb-help-dialog.h"

OpenUSBHelpDialog::OpenUSBHelpDialog(QWidget* parent)
    : DialogFrame(parent), ui(new Ui::OpenUSBHelpDialog) {
    ui->setupUi(this);
    SetUpFrame(":/qss/dialog/open-usb-help-dialog.qss", ui->widget_usb_help_title,
               ui->pushButton_usb_help_close);
    ui->pushButton_usb_help_space->setEnabled(false);
    movie_ = new QMovie(QStringLiteral(":/image/home_android_usb.gif"), QByteArray(), this);
    ui->label_usb_help_gif->setScaledContents(true);
    ui->label_usb_help_gif->setMovie(movie_);
    ui->label_usb_help_gif->installEventFilter(this);
    movie_->start();
}

OpenUSBHelpDialog::~OpenUSBHelpDialog() = default;

bool OpenUSBHelpDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->label_usb_help_gif && event->type() == QEvent::Resize)
        movie_->setScaledSize(static_cast<QResizeEvent*>(event)->size());
    return DialogFrame::eventFilter(watched, event);
}

void OpenUSBHelpDialog::on_pushButton_usb_help_close_clicked() {
    accept();
}
