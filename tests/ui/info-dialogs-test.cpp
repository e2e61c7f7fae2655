#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QTimer>
#include <initializer_list>

#include "tests/ui/dialog-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/about-us-dialog.h"
#include "ui/help-dialog.h"
#include "ui/help-info-dialog.h"
#include "ui/open-usb-help-dialog.h"
#include "ui/ui-setup.h"
#include "ui/web-links.h"

namespace {

constexpr QRgb kAccent = 0xff6ba7ff;

class InfoDialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Dialogs draw without OpenGL; Mesa's GLX keeps allocations to the end.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        uitest::App();
        SetUpUiResources();
    }
};

template <typename T>
T* Child(QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Shows the dialog, keeps its picture, and checks that it is no blank
// rectangle and that the Chinese texts of `labels` were drawn in glyphs.
QImage CheckPicture(QWidget* dialog, const char* name, std::initializer_list<const char*> labels) {
    const QImage picture = uitest::ShowAndGrab(dialog);
    if (picture.isNull()) {
        ADD_FAILURE() << name << " never appeared on the screen";
        return picture;
    }
    uitest::KeepPicture(picture, name);
    EXPECT_GT(uitest::ColourCount(picture), 20) << name;
    for (const char* label : labels) {
        const QRect area = uitest::AreaOf(Child<QWidget>(dialog, label));
        EXPECT_GT(uitest::BackgroundBrightness(picture, area), 180) << name << " " << label;
        EXPECT_GT(uitest::InkPixels(picture, area), 40) << name << " " << label;
    }
    return picture;
}

TEST_F(InfoDialogsTest, AboutDialogPicture) {
    AboutUsDialog dialog;
    const QImage picture =
        CheckPicture(&dialog, "about-us-dialog", {"label_about_appname", "label_about_detail"});
    // The logo is drawn whole inside its square, not clipped by a form size.
    const QRect logo = uitest::AreaOf(Child<QWidget>(&dialog, "label_about_logo"));
    EXPECT_EQ(logo.width(), logo.height());
    EXPECT_GT(uitest::PixelsNear(picture.copy(logo), kAccent, 12),
              logo.width() * logo.height() / 10);
}

TEST_F(InfoDialogsTest, HelpDialogShowsOneSetOfStepsAtATime) {
    HelpDialog dialog;
    CheckPicture(&dialog, "help-dialog-wireless", {"label_help_title", "label_help_step2"});
    const char* wireless[] = {"label_help_step2", "label_help_step3"};
    const char* usb[] = {"label_help_step4", "label_help_step5", "label_help_step6"};
    auto shows = [&](const char* name) { return Child<QLabel>(&dialog, name)->isVisible(); };
    for (const char* name : wireless)
        EXPECT_TRUE(shows(name)) << name;
    for (const char* name : usb)
        EXPECT_FALSE(shows(name)) << name;

    Child<QPushButton>(&dialog, "pushButton_usb_help")->click();
    EXPECT_TRUE(Child<QPushButton>(&dialog, "pushButton_usb_help")->isChecked());
    EXPECT_FALSE(Child<QPushButton>(&dialog, "pushButton_wireless_help")->isChecked());
    for (const char* name : wireless)
        EXPECT_FALSE(shows(name)) << name;
    for (const char* name : usb)
        EXPECT_TRUE(shows(name)) << name;
    CheckPicture(&dialog, "help-dialog-usb", {"label_help_step5"});

    Child<QPushButton>(&dialog, "pushButton_wireless_help")->click();
    EXPECT_TRUE(shows("label_help_step2"));
    EXPECT_FALSE(shows("label_help_step4"));
}

TEST_F(InfoDialogsTest, WithoutAWebSiteTheQrCodesAreAShortText) {
    if (!WebLinks::WebSite().isEmpty())
        GTEST_SKIP() << "built with a web site";
    HelpDialog dialog;
    for (const char* name : {"label_help_qr_android", "label_help_qr_ios"}) {
        QLabel* qr = Child<QLabel>(&dialog, name);
        EXPECT_TRUE(qr->pixmap(Qt::ReturnByValue).isNull()) << name;
        EXPECT_FALSE(qr->text().isEmpty()) << name;
    }
}

TEST_F(InfoDialogsTest, HelpPageShowsItsPictures) {
    ASSERT_FALSE(HelpInfoDialog::ReadHelpPage().isEmpty());
    HelpInfoDialog dialog;
    const QImage picture = CheckPicture(&dialog, "help-info-dialog", {"label_helpinfo"});
    // The first step's picture is drawn from SVG in the accent colour: a
    // missing picture or image plugin leaves none of it.
    EXPECT_GT(uitest::PixelsNear(picture, kAccent, 6), 2000);
}

TEST_F(InfoDialogsTest, UsbHelpPlaysItsAnimationAtTheLabelsSize) {
    OpenUSBHelpDialog dialog;
    CheckPicture(&dialog, "open-usb-help-dialog", {"label_usb_help_title", "label_usb_help_step1"});
    ASSERT_NE(dialog.movie(), nullptr);
    EXPECT_TRUE(dialog.movie()->isValid());
    EXPECT_EQ(dialog.movie()->state(), QMovie::Running);
    QLabel* gif = Child<QLabel>(&dialog, "label_usb_help_gif");
    EXPECT_EQ(dialog.movie()->scaledSize(), gif->size());
    gif->resize(gif->width() + 10, gif->height() + 20);
    EXPECT_EQ(dialog.movie()->scaledSize(), gif->size());
}

TEST_F(InfoDialogsTest, LinksLeadToTheWebSiteOrElseToTheBundledHelpPage) {
    QLabel label(
        QStringLiteral("<a href=\"qrc:/help/help.html#no-voice\">a</a> "
                       "<a href=\"https://elsewhere.test/\">b</a>"));
    WebLinks::Retarget(&label, QString());
    EXPECT_TRUE(label.text().contains("qrc:/help/help.html#no-voice"));
    WebLinks::Retarget(&label, QStringLiteral("https://site.test/a?b=1&c=2"));
    EXPECT_EQ(label.text(), QStringLiteral("<a href=\"https://site.test/a?b=1&amp;c=2\">a</a> "
                                           "<a href=\"https://elsewhere.test/\">b</a>"));
    EXPECT_TRUE(WebLinks::IsBundledHelpPage("qrc:/help/help.html"));
    EXPECT_TRUE(WebLinks::IsBundledHelpPage("qrc:/help/help.html#no-voice"));
    EXPECT_FALSE(WebLinks::IsBundledHelpPage("https://site.test/help/help.html"));

    // The bundled page opens in the help page dialog; it is closed again
    // from inside its modal run.
    QString shown;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        shown = QString::fromLatin1(modal->metaObject()->className());
        if (auto* close = modal->findChild<QPushButton*>("pushButton_helpinfo_close"))
            close->click();
    });
    EXPECT_TRUE(WebLinks::Open(nullptr, WebLinks::BundledHelpPage()));
    EXPECT_EQ(shown, "HelpInfoDialog");
}

TEST_F(InfoDialogsTest, WithoutAWebSiteNoLinkLeadsToAPageThatDoesNotAnswerIt) {
    QLabel step(
        QStringLiteral("1. Install the camera app on your phone, or <a "
                       "href=\"qrc:/help/help.html\" style=\"x\">get it from our website</a>"));
    WebLinks::PointAtSite(&step, QString());
    EXPECT_EQ(step.text(), QStringLiteral("1. Install the camera app on your phone"));
    QLabel chinese(QStringLiteral(
        "1. 请下载移动端虚拟摄像头APP，或<a href=\"qrc:/help/help.html\">移步官网下载</a>"));
    WebLinks::PointAtSite(&chinese, QString());
    EXPECT_EQ(chinese.text(), QStringLiteral("1. 请下载移动端虚拟摄像头APP"));
    QLabel agreement(
        QStringLiteral("<a href=\"qrc:/help/help.html\">User Agreement</a>&nbsp;&nbsp;|"
                       "&nbsp;&nbsp;<a href=\"qrc:/help/help.html\">Privacy Policy</a>"));
    WebLinks::PointAtSite(&agreement, QString());
    EXPECT_EQ(agreement.text(), QString());
    // Links elsewhere stay.
    QLabel other(QStringLiteral("<a href=\"https://elsewhere.test/\">b</a>"));
    WebLinks::PointAtSite(&other, QString());
    EXPECT_EQ(other.text(), QStringLiteral("<a href=\"https://elsewhere.test/\">b</a>"));
    WebLinks::PointAtSite(&step, QStringLiteral("https://site.test/"));
    EXPECT_EQ(step.text(), QStringLiteral("1. Install the camera app on your phone"));

    if (!WebLinks::WebSite().isEmpty())
        return;
    HelpDialog help;
    EXPECT_FALSE(Child<QLabel>(&help, "label_help_step1")->text().contains("href"));
    AboutUsDialog about;
    about.show();
    EXPECT_FALSE(Child<QLabel>(&about, "label_about_agreement")->isVisible());
    EXPECT_FALSE(Child<QLabel>(&about, "label_about_products")->isVisible());
}

TEST_F(InfoDialogsTest, EveryDialogCarriesATitle) {
    HelpDialog help;
    EXPECT_EQ(help.windowTitle(), QStringLiteral("使用帮助"));
    HelpInfoDialog page;
    EXPECT_EQ(page.windowTitle(), QStringLiteral("如何在其他软件中使用ZuCam摄像头"));
    OpenUSBHelpDialog usb;
    EXPECT_EQ(usb.windowTitle(), QStringLiteral("如何开启USB调试模式"));
    AboutUsDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于我们"));
}

}  // namespace
