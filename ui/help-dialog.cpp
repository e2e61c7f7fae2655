#include "ui/help-dialog.h"

#include "ui/web-links.h"
#include "ui_help-dialog.h"

HelpDialog::HelpDialog(QWidget* parent) : DialogFrame(parent), ui(new Ui::HelpDialog) {
    ui->setupUi(this);
    SetUpFrame(":/qss/dialog/help-dialog.qss", ui->widget_help_title, ui->pushButton_help_close);
    ui->pushButton_help_space->setEnabled(false);
    const QString site = WebLinks::WebSite();
    // The app's download page is on the web site; without one the step
    // names the app alone.
    WebLinks::PointAtSite(ui->label_help_step1, site);
    connect(ui->label_help_step1, &QLabel::linkActivated, this, &HelpDialog::slot_openUrl);
    ShowDownloadHints(site);
    ui->pushButton_wireless_help->setChecked(true);
    ShowSteps(true);
}

HelpDialog::~HelpDialog() = default;

// The download QR codes belong to the maker's web site, which this build may
// not know; a short text stands in their place rather than a picture that
// leads nowhere.
void HelpDialog::ShowDownloadHints(const QString& site) {
    const QString hint = site.isEmpty()
                             ? tr("请在手机应用商店中下载")
                             : tr("<a href=\"%1\" style=\"color:#4C9DFF;\">前往官网下载</a>")
                                   .arg(site.toHtmlEscaped());
    for (QLabel* qr : {ui->label_help_qr_android, ui->label_help_qr_ios}) {
        qr->setTextFormat(site.isEmpty() ? Qt::PlainText : Qt::RichText);
        qr->setText(hint);
        connect(qr, &QLabel::linkActivated, this, &HelpDialog::slot_openUrl);
    }
}

void HelpDialog::ShowSteps(bool wireless) {
    ui->label_help_step2->setVisible(wireless);
    ui->label_help_step3->setVisible(wireless);
    ui->label_help_step4->setVisible(!wireless);
    ui->label_help_step5->setVisible(!wireless);
    ui->label_help_step6->setVisible(!wireless);
}

void HelpDialog::slot_openUrl(QString url) {
    WebLinks::Open(this, url);
}

void HelpDialog::on_pushButton_help_close_clicked() {
    accept();
}

void HelpDialog::on_pushButton_wireless_help_clicked() {
    ShowSteps(true);
}

void HelpDialog::on_pushButton_usb_help_clicked() {
    ShowSteps(false);
}
