#include "ui/web-phone-dialog.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "ui_web-phone-dialog.h"
#include "web/qr-code.h"
#include "web/web-phone-service.h"

namespace {

constexpr int kQrSide = 220;
constexpr int kQuietModules = 4;

}  // namespace

WebPhoneDialog::WebPhoneDialog(WebPhoneService* service, const QStringList& addresses,
                               QWidget* parent)
    : DialogFrame(parent), ui(new Ui::WebPhoneDialog), service_(service), addresses_(addresses) {
    ui->setupUi(this);
    SetUpFrame(":/qss/dialog/web-phone-dialog.qss", ui->widget_web_title, ui->pushButton_web_close);
    ui->label_web_usb->setText(ui->label_web_usb->text().arg(service_->Port()));
    ShowLinks();
}

WebPhoneDialog::~WebPhoneDialog() = default;

QImage WebPhoneDialog::QrImage(const QString& text, int side) {
    QrCode qr;
    if (!qr.Encode(text.toStdString()))
        return QImage();
    const int modules = qr.Size() + 2 * kQuietModules;
    QImage image(modules, modules, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < qr.Size(); ++y) {
        for (int x = 0; x < qr.Size(); ++x) {
            if (qr.Dark(x, y))
                image.setPixel(x + kQuietModules, y + kQuietModules, qRgb(0, 0, 0));
        }
    }
    // Whole pixels per module keep the code sharp for the phone's camera.
    const int scale = std::max(1, side / modules);
    return image.scaled(modules * scale, modules * scale, Qt::KeepAspectRatio,
                        Qt::FastTransformation);
}

void WebPhoneDialog::ShowLinks() {
    std::vector<std::string> addresses;
    for (const QString& a : addresses_)
        addresses.push_back(a.toStdString());
    QStringList links;
    for (const std::string& link : service_->Links(addresses))
        links << QString::fromStdString(link);
    ui->label_web_links->setText(links.join(QLatin1Char('\n')));
    ui->label_web_qr->setPixmap(QPixmap::fromImage(QrImage(links.value(0), kQrSide)));
}

void WebPhoneDialog::on_pushButton_web_close_clicked() {
    accept();
}

void WebPhoneDialog::on_pushButton_web_new_link_clicked() {
    service_->NewLink();
    ShowLinks();
}
