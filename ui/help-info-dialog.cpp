#include "ui/help-info-dialog.h"

#include <QFile>

#include "ui/web-links.h"
#include "ui_help-info-dialog.h"

HelpInfoDialog::HelpInfoDialog(QWidget* parent) : DialogFrame(parent), ui(new Ui::HelpInfoDialog) {
    ui->setupUi(this);
    SetUpFrame(":/qss/dialog/help-info-dialog.qss", ui->widget_helpinfo_title,
               ui->pushButton_helpinfo_close);
    ui->scrollArea_helpinfo->setFrameShape(QFrame::NoFrame);
    ui->scrollArea_helpinfo->setBackgroundRole(QPalette::Light);
    ui->label_helpinfo->setText(ReadHelpPage());
    connect(ui->label_helpinfo, &QLabel::linkActivated, this, &HelpInfoDialog::slot_openUrl);
}

HelpInfoDialog::~HelpInfoDialog() = default;

QString HelpInfoDialog::ReadHelpPage() {
    QFile page(QStringLiteral(":/help/help.html"));
    if (!page.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(page.readAll());
}

void HelpInfoDialog::slot_openUrl(QString url) {
    // This dialog already is the bundled page.
    if (WebLinks::IsBundledHelpPage(url))
        return;
    WebLinks::Open(this, url);
}

void HelpInfoDialog::on_pushButton_helpinfo_close_clicked() {
    accept();
}
