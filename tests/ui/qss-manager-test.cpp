#include "ui/qss-manager.h"

#include <gtest/gtest.h>

#include <QBoxLayout>
#include <QGridLayout>
#include <QTemporaryDir>
#include <QWidget>

#include "tests/ui/ui-test-app.h"

namespace {

QString Scale(const char* text, double factor) {
    return QssManager::ScaleStyleSheet(QString::fromUtf8(text), factor);
}

TEST(ScaleStyleSheetTest, At96DpiNothingChanges) {
    const char* sheet = "QLabel { font-size: 18px; min-width: 9px; border: 1px solid #CCCCCC; }";
    EXPECT_EQ(Scale(sheet, 1.0), QString::fromUtf8(sheet));
    EXPECT_EQ(Scale(sheet, 0.75), QString::fromUtf8(sheet));
}

TEST(ScaleStyleSheetTest, At144DpiPixelSizesGrowByHalf) {
    EXPECT_EQ(Scale("a { font-size: 18px; }", 1.5), QString("a { font-size: 27px; }"));
    EXPECT_EQ(Scale("a { min-width: 9px; }", 1.5), QString("a { min-width: 13.5px; }"));
    EXPECT_EQ(Scale("a{width:900px;height:634px;}", 1.5), QString("a{width:1350px;height:951px;}"));
    EXPECT_EQ(Scale("a { margin: 0px; }", 1.5), QString("a { margin: 0px; }"));
}

TEST(ScaleStyleSheetTest, At120DpiUsesSixSignificantDigits) {
    EXPECT_EQ(Scale("a { width: 9px; }", 1.25), QString("a { width: 11.25px; }"));
    EXPECT_EQ(Scale("a { width: 18px; }", 1.25), QString("a { width: 22.5px; }"));
    EXPECT_EQ(Scale("a { width: 1px; }", 4.0 / 3.0), QString("a { width: 1.33333px; }"));
    EXPECT_EQ(Scale("a { width: 1234567px; }", 1.5), QString("a { width: 1.85185e+06px; }"));
}

TEST(ScaleStyleSheetTest, OnlyNumbersRightBeforePxSemicolonAreScaled) {
    // "1px solid" has no semicolon after px; the match is case-sensitive.
    EXPECT_EQ(Scale("a { border: 1px solid #6BA7FF; }", 2.0),
              QString("a { border: 1px solid #6BA7FF; }"));
    EXPECT_EQ(Scale("a { width: 12PX; }", 2.0), QString("a { width: 12PX; }"));
    EXPECT_EQ(Scale("a { width: 12px }", 2.0), QString("a { width: 12px }"));
    EXPECT_EQ(Scale("a { font-size: 10pt; }", 2.0), QString("a { font-size: 10pt; }"));
}

TEST(ScaleStyleSheetTest, TheSearchGoesOnAfterTheInsertedText) {
    // A naive search from the start of the replacement would find "5px;" in
    // "1.5px;" again and scale it twice.
    EXPECT_EQ(Scale("a{w:1px;h:1px;}", 1.5), QString("a{w:1.5px;h:1.5px;}"));
    EXPECT_EQ(Scale("a{w:3px;}", 2.5), QString("a{w:7.5px;}"));
}

TEST(QssManagerTest, LoadsAFileIntoItsWidgetAndIgnoresAMissingOne) {
    uitest::App();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("sheet.qss");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray sheet =
        QString::fromUtf8("QLabel { font-family: \"Microsoft YaHei\"; min-width: 12px; }").toUtf8();
    file.write(sheet);
    file.close();

    QWidget widget;
    widget.setStyleSheet("QWidget { color: red; }");
    QssManager qss(&widget, false);
    qss.SetStyleSheetFile(dir.filePath("missing.qss"));
    EXPECT_EQ(widget.styleSheet(), QString("QWidget { color: red; }"));
    qss.SetStyleSheetFile(path);
    EXPECT_EQ(widget.styleSheet(), QssManager::ScaleStyleSheet(QString::fromUtf8(sheet)));
}

TEST(QssManagerTest, ScalingLayoutsReachesNestedLayoutsAndChildWidgets) {
    uitest::App();
    QWidget top;
    auto* outer = new QVBoxLayout(&top);
    outer->setContentsMargins(20, 21, 22, 23);
    outer->setSpacing(10);
    auto* inner = new QHBoxLayout;
    inner->setContentsMargins(30, 30, 30, 30);
    outer->addLayout(inner);
    auto* child = new QWidget;
    auto* childLayout = new QGridLayout(child);
    childLayout->setContentsMargins(40, 40, 40, 40);
    outer->addWidget(child);

    QssManager::ScaleLayouts(&top);
    const double f = QssManager::ScaleFactor();
    auto scaled = [f](int v) { return static_cast<int>(v * f); };
    EXPECT_EQ(outer->contentsMargins(), QMargins(scaled(20), scaled(21), scaled(22), scaled(23)));
    EXPECT_EQ(outer->spacing(), scaled(10));
    EXPECT_EQ(inner->contentsMargins().left(), scaled(30));
    EXPECT_EQ(childLayout->contentsMargins().bottom(), scaled(40));
}

}  // namespace
