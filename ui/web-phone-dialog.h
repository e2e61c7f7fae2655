#pragma once

#include <QStringList>
#include <memory>

#include "ui/dialog-frame.h"

namespace Ui {
class WebPhoneDialog;
}
class WebPhoneService;

// "使用手机浏览器": how a phone without the app connects, as a QR code of the
// first link and every link in full (one per local address, then the
// loopback one for the USB cable), with a button that makes a new link.
class WebPhoneDialog : public DialogFrame {
    Q_OBJECT

public:
    // `service` outlives the dialog; `addresses` are the local addresses shown.
    WebPhoneDialog(WebPhoneService* service, const QStringList& addresses,
                   QWidget* parent = nullptr);
    ~WebPhoneDialog() override;

    // The QR code of `text`, `side` pixels square (null when it cannot be made).
    static QImage QrImage(const QString& text, int side);

private slots:
    void on_pushButton_web_close_clicked();
    void on_pushButton_web_new_link_clicked();

private:
    void ShowLinks();

    std::unique_ptr<Ui::WebPhoneDialog> ui;
    WebPhoneService* service_;
    QStringList addresses_;
};
