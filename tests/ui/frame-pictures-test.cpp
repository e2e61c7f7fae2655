#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include "tests/ui/dialog-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/custom-tips-dialog.h"
#include "ui/guid-widget.h"
#include "ui/message-box-dialog.h"
#include "ui/qss-manager.h"
#include "ui/ui-setup.h"

namespace {

class FramePicturesTest : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        SetUpUiResources();
    }

    // Shows the window and takes its own picture (not the screen's, which
    // another window of a parallel test may cover), kept under the build.
    static QImage ShowAndPicture(QWidget* window, const QString& name) {
        window->show();
        QElapsedTimer waited;
        waited.start();
        while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
               waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(window->windowHandle()->isExposed()) << qPrintable(name);
        QCoreApplication::processEvents();
        const QImage picture = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        uitest::KeepPicture(picture, name);
        return picture;
    }

    // The label's font is a CJK font that holds every character of its text:
    // without the font mapping the stylesheet's "Microsoft YaHei" falls to a
    // Latin font, and a machine without a CJK font draws boxes.
    static void ExpectCjkFont(const QLabel* label) {
        const QFontMetrics metrics(label->font());
        for (const QChar c : label->text()) {
            if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) {
                EXPECT_TRUE(metrics.inFont(c))
                    << "no glyph for U+" << std::hex << c.unicode() << " in "
                    << qPrintable(QFontInfo(label->font()).family());
            }
        }
    }

    static int PixelsNearIn(const QImage& picture, const QRect& area, QRgb colour, int tolerance) {
        return uitest::PixelsNear(picture.copy(area), colour, tolerance);
    }
};

TEST_F(FramePicturesTest, MessageBoxDrawsItsChineseTextAndButtons) {
    MessageBoxDialog box;
    box.SetMessage(QString::fromUtf8("当前选择路径无写入权限！"));
    box.SetButtons(2, QString::fromUtf8("确定"), QString::fromUtf8("取消"));
    const QImage picture = ShowAndPicture(&box, "message-box-dialog");
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(uitest::ColourCount(picture), 8);

    auto* label = box.findChild<QLabel*>("label_msg");
    ExpectCjkFont(label);
    const QRect text = uitest::AreaOf(label);
    EXPECT_GT(uitest::BackgroundBrightness(picture, text), 200);
    EXPECT_GT(uitest::InkPixels(picture, text), 150);
    // White glyphs on the blue OK button, blue glyphs on the white cancel.
    const QRect ok = uitest::AreaOf(box.findChild<QPushButton*>("pushButton_ok"));
    EXPECT_GT(PixelsNearIn(picture, ok, qRgb(0x6B, 0xA7, 0xFF), 8), ok.width() * ok.height() / 2);
    EXPECT_GT(PixelsNearIn(picture, ok, qRgb(255, 255, 255), 30), 20);
    const QRect cancel = uitest::AreaOf(box.findChild<QPushButton*>("pushButton_cancel"));
    EXPECT_GT(uitest::InkPixels(picture, cancel), 40);
}

TEST_F(FramePicturesTest, TipShowsItsTwoLines) {
    CustomTipsDialog tip;
    tip.SetText(QString::fromUtf8("截屏成功，可在\n设置中打开目录查看"));
    const QImage picture = ShowAndPicture(&tip, "custom-tips-dialog");
    ASSERT_FALSE(picture.isNull());
    // 150x50 in the stylesheet, scaled with the screen.
    const double f = std::max(1.0, QssManager::ScaleFactor());
    EXPECT_NEAR(picture.width(), 150 * f, 1);
    EXPECT_NEAR(picture.height(), 50 * f, 1);
    auto* label = tip.findChild<QLabel*>("label_ipdis_ip");
    ExpectCjkFont(label);
    const QRect area = uitest::AreaOf(label);
    // Both lines hold glyphs.
    EXPECT_GT(
        uitest::InkPixels(picture, QRect(area.left(), area.top(), area.width(), area.height() / 2)),
        40);
    EXPECT_GT(uitest::InkPixels(
                  picture, QRect(area.left(), area.center().y(), area.width(), area.height() / 2)),
              40);
}

TEST_F(FramePicturesTest, GuideBubbleIsABlueBubbleWithAnArrowAndWhiteText) {
    GuidWidget bubble;
    int closed = 0;
    QObject::connect(&bubble, &GuidWidget::sig_firstClose, [&closed] { ++closed; });
    const QImage picture = ShowAndPicture(&bubble, "guid-widget");
    ASSERT_EQ(picture.size(), QSize(280, 100));

    auto near = [&](int x, int y) {
        const QRgb p = picture.pixel(x, y);
        return qAlpha(p) == 255 && std::abs(qRed(p) - 165) < 4 && std::abs(qGreen(p) - 197) < 4 &&
               std::abs(qBlue(p) - 243) < 4;
    };
    EXPECT_TRUE(near(22, 50));    // the body, left of the text
    EXPECT_TRUE(near(140, 87));   // the arrow under the body's middle
    EXPECT_FALSE(near(100, 87));  // beside the arrow
    EXPECT_EQ(qAlpha(picture.pixel(2, 2)), 0);

    auto* label = bubble.findChild<QLabel*>("label_ftip_text");
    ExpectCjkFont(label);
    EXPECT_GT(PixelsNearIn(picture, uitest::AreaOf(label), qRgb(255, 255, 255), 40), 40);
    auto* close = bubble.findChild<QPushButton*>("pushButton_ftip_close");
    EXPECT_GT(PixelsNearIn(picture, uitest::AreaOf(close), qRgb(0xEC, 0x37, 0x2C), 50), 20);

    close->click();
    EXPECT_EQ(closed, 1);
}

}  // namespace
