#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMovie>
#include <QRegularExpression>
#include <QSet>

#include "tests/ui/ui-test-app.h"
#include "ui/ui-setup.h"

namespace {

class UiResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        SetUpUiResources();
    }
};

QStringList ResourceFiles(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

TEST_F(UiResourcesTest, EveryPictureTheStylesheetsNameIsThere) {
    const QStringList sheets = ResourceFiles(":/qss");
    ASSERT_GE(sheets.size(), 10);
    static const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    QSet<QString> named;
    for (const QString& sheet : sheets) {
        QFile file(sheet);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(sheet);
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_EQ(text.count('{'), text.count('}')) << qPrintable(sheet);
        auto matches = url.globalMatch(text);
        while (matches.hasNext())
            named << matches.next().captured(1);
    }
    EXPECT_GT(named.size(), 40);
    for (const QString& path : named)
        EXPECT_FALSE(QImage(path).isNull()) << qPrintable(path);
}

TEST_F(UiResourcesTest, PicturesTheWindowsLoadByNameAreThere) {
    for (int level = 0; level <= 10; ++level) {
        const QImage voice(QStringLiteral(":/image/voice/voice-%1.png").arg(level));
        ASSERT_FALSE(voice.isNull()) << level;
        EXPECT_EQ(voice.size(), QSize(24, 40));
    }
    EXPECT_FALSE(QFile::exists(":/image/voice/voice-11.png"));
    EXPECT_EQ(QImage(":/image/display_waitting.png").size(), QSize(280, 280));
    EXPECT_FALSE(QImage(":/image/logo_zucam.png").isNull());
    // Louder levels light more of the meter in the accent colour.
    auto accent = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += qAlpha(image.pixel(x, y)) > 200 && qBlue(image.pixel(x, y)) > 240 &&
                     qRed(image.pixel(x, y)) < 130;
        return n;
    };
    EXPECT_EQ(accent(QImage(":/image/voice/voice-0.png")), 0);
    EXPECT_LT(accent(QImage(":/image/voice/voice-3.png")),
              accent(QImage(":/image/voice/voice-10.png")));
}

TEST_F(UiResourcesTest, UsbHelpAnimationPlays) {
    QMovie movie(":/image/home_android_usb.gif");
    ASSERT_TRUE(movie.isValid());
    EXPECT_GT(movie.frameCount(), 10);
    ASSERT_TRUE(movie.jumpToFrame(0));
    EXPECT_FALSE(movie.currentImage().isNull());
}

}  // namespace
