#include "ui/about-us-dialog.h"

#include <QCoreApplication>

#include "hublet/app-info.h"
#include "hublet/interface.h"
#include "ui/web-links.h"
#include "ui_about-us-dialog.h"

AboutUsDialog::AboutUsDialog(QWidget* parent) : DialogFrame(parent), ui(new Ui::AboutUsDialog) {
    ui->setupUi(this);
    SetUpFrame(":/qss/dialog/aboutus-dialog.qss", ui->widget_about_title,
               ui->pushButton_about_close);
    ui->pushButton_about_space->setEnabled(false);
    const QString version = RunningVersion();
    ui->label_about_version->setText(version.isEmpty() ? QString() : "V" + version);
    ui->label_about_version->setVisible(!version.isEmpty());

    const QString site = WebLinks::WebSite();
    // The other products live on the maker's web site alone; without one the
    // line would only lead back to our own help page.
    ui->label_about_products->setVisible(!site.isEmpty());
    WebLinks::Retarget(ui->label_about_products, site);
    // The agreement and the privacy policy are pages of that site too.
    WebLinks::PointAtSite(ui->label_about_agreement, site);
    ui->label_about_agreement->setVisible(!site.isEmpty());
    connect(ui->label_about_products, &QLabel::linkActivated, this, &AboutUsDialog::slot_openUrl);
    connect(ui->label_about_agreement, &QLabel::linkActivated, this, &AboutUsDialog::slot_openUrl);
}

AboutUsDialog::~AboutUsDialog() = default;

QString AboutUsDialog::RunningVersion() {
    if (CD && CD->appInfo && !CD->appInfo->version().empty())
        return QString::fromStdString(CD->appInfo->version());
    return QCoreApplication::applicationVersion();
}

void AboutUsDialog::slot_openUrl(QString url) {
    WebLinks::Open(this, url);
}

void AboutUsDialog::on_pushButton_about_close_clicked() {
    accept();
}
