#include "ui/web-phone-dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "platform/paths.h"
#include "tests/support/temp-dir.h"
#include "tests/ui/dialog-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/ui-setup.h"
#include "web/qr-code.h"
#include "web/web-phone-service.h"

namespace {

class WebPhoneDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        uitest::App();
        SetUpUiResources();
    }
    void SetUp() override {
        // The certificate is kept in the config folder: this test's own.
        savedConfig_ = platform::GetEnv("XDG_CONFIG_HOME");
        platform::SetEnv("XDG_CONFIG_HOME", config_.path());
    }
    void TearDown() override { platform::SetEnv("XDG_CONFIG_HOME", savedConfig_); }

    zutest::TempDir config_;
    std::string savedConfig_;
};

TEST_F(WebPhoneDialogTest, QrImageHasWholePixelModulesAndAQuietZone) {
    const char* link = "https://192.168.1.5:10090/?k=ABC";
    const QImage image = WebPhoneDialog::QrImage(link, 220);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), image.height());
    EXPECT_LE(image.width(), 220);
    // The code's modules plus a quiet zone of 4 on each side, each module
    // a whole number of pixels.
    QrCode code;
    ASSERT_TRUE(code.Encode(link));
    const int modules = code.Size() + 8;
    const int scale = image.width() / modules;
    ASSERT_GE(scale, 2);
    ASSERT_EQ(image.width(), modules * scale);
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(4 * scale, 4 * scale), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(5 * scale, 5 * scale), qRgb(255, 255, 255));
    EXPECT_TRUE(WebPhoneDialog::QrImage(QString(8000, QLatin1Char('x')), 220).isNull());
}

TEST_F(WebPhoneDialogTest, ShowsEveryLinkAndANewLinkReplacesTheSecret) {
    WebPhoneService service;
    std::string why;
    ASSERT_TRUE(service.Start(0, 10080, &why)) << why;
    EXPECT_TRUE(why.empty()) << why;
    const QString port = QString::number(service.Port());
    const QString oldSecret = QString::fromStdString(service.Secret());
    WebPhoneDialog dialog(&service, {QStringLiteral("192.168.1.5")});
    auto* links = dialog.findChild<QLabel*>(QStringLiteral("label_web_links"));
    auto* qr = dialog.findChild<QLabel*>(QStringLiteral("label_web_qr"));
    auto* usb = dialog.findChild<QLabel*>(QStringLiteral("label_web_usb"));
    ASSERT_TRUE(links && qr && usb);
    EXPECT_EQ(links->textFormat(), Qt::PlainText);
    EXPECT_EQ(links->text(), "https://192.168.1.5:" + port + "/?k=" + oldSecret +
                                 "\nhttp://localhost:" + port + "/?k=" + oldSecret);
    EXPECT_TRUE(usb->text().contains("adb reverse tcp:" + port + " tcp:" + port));
    EXPECT_FALSE(qr->pixmap(Qt::ReturnByValue).isNull());

    const QImage picture = uitest::ShowAndGrab(&dialog);
    ASSERT_FALSE(picture.isNull()) << "the dialog never appeared on the screen";
    uitest::KeepPicture(picture, "web-phone-dialog");
    EXPECT_GT(uitest::InkPixels(picture, uitest::AreaOf(qr)), 1000);
    EXPECT_GT(uitest::InkPixels(picture, uitest::AreaOf(links)), 40);

    dialog.findChild<QPushButton*>(QStringLiteral("pushButton_web_new_link"))->click();
    const QString newSecret = QString::fromStdString(service.Secret());
    EXPECT_NE(newSecret, oldSecret);
    EXPECT_FALSE(links->text().contains(oldSecret));
    EXPECT_TRUE(links->text().contains("/?k=" + newSecret));
}

}  // namespace
