#include "ui/message-box-dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "tests/ui/ui-test-app.h"
#include "ui/ui-setup.h"

namespace {

class MessageBoxDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        SetUpUiResources();
    }
    QPushButton* Ok(MessageBoxDialog& box) { return box.findChild<QPushButton*>("pushButton_ok"); }
    QPushButton* Cancel(MessageBoxDialog& box) {
        return box.findChild<QPushButton*>("pushButton_cancel");
    }
};

TEST_F(MessageBoxDialogTest, ShortTextsGetTheMinimumWidth) {
    EXPECT_EQ(MessageBoxDialog::MessageWidth(QString::fromUtf8("截图失败"), 1.0), 260);
    EXPECT_EQ(MessageBoxDialog::MessageWidth(QString(), 1.0), 260);
    EXPECT_EQ(MessageBoxDialog::MessageWidth(QString::fromUtf8("截图失败"), 1.5), 390);

    MessageBoxDialog box;
    box.SetMessage(QString::fromUtf8("截图失败"));
    EXPECT_EQ(box.minimumWidth(), 260);
    EXPECT_EQ(box.maximumWidth(), 260);
}

TEST_F(MessageBoxDialogTest, LongTextsGetTheirWidestLineAndAMargin) {
    const QString first = QString::fromUtf8("检测到电脑处于节能模式");
    const QString second =
        QString::fromUtf8("可能会影响画面流畅度，建议调整为平衡模式或高性能模式，然后重新连接手机");
    const QFontMetrics metrics(QFont(QStringLiteral("Microsoft YaHei"), 10));
    const int widest = metrics.horizontalAdvance(second);
    ASSERT_GT(widest + 60, 260) << "the line must be long enough to pass the minimum";
    ASSERT_LT(metrics.horizontalAdvance(first), widest);

    // The widest line counts, not the whole text and not the first line.
    EXPECT_EQ(MessageBoxDialog::MessageWidth(first + "\n" + second, 1.0), widest + 60);
    EXPECT_EQ(MessageBoxDialog::MessageWidth(first + "\n" + second, 1.5), widest + 90);
    MessageBoxDialog box;
    box.SetMessage(first + "\n" + second);
    EXPECT_EQ(box.width(), widest + 60);
    EXPECT_EQ(box.findChild<QLabel*>("label_msg")->text(), first + "\n" + second);
}

TEST_F(MessageBoxDialogTest, ButtonModes) {
    MessageBoxDialog box;
    box.SetButtons(0, QString::fromUtf8("确定"), QString::fromUtf8("取消"));
    EXPECT_TRUE(Ok(box)->isHidden());
    EXPECT_TRUE(Cancel(box)->isHidden());

    box.SetButtons(1, QString());
    EXPECT_FALSE(Ok(box)->isHidden());
    EXPECT_EQ(Ok(box)->text(), QString());
    EXPECT_TRUE(Cancel(box)->isHidden());

    box.SetButtons(2, QString::fromUtf8("确定"), QString::fromUtf8("取消"));
    EXPECT_FALSE(Ok(box)->isHidden());
    EXPECT_FALSE(Cancel(box)->isHidden());
    EXPECT_EQ(Cancel(box)->text(), QString::fromUtf8("取消"));

    // An unknown mode leaves the buttons as they were.
    box.SetButtons(3, QString::fromUtf8("好"), QString::fromUtf8("不"));
    box.SetButtons(-1, QString::fromUtf8("好"), QString::fromUtf8("不"));
    EXPECT_FALSE(Cancel(box)->isHidden());
    EXPECT_EQ(Ok(box)->text(), QString::fromUtf8("确定"));
}

// Runs the box modally and clicks one of its buttons the way a person would.
int RunAndClick(MessageBoxDialog& box, const char* button) {
    QTimer::singleShot(0, &box, [&box, button] {
        if (QApplication::activeModalWidget() != &box) {
            ADD_FAILURE() << "the box is not the modal window";
            box.done(99);
            return;
        }
        box.findChild<QPushButton*>(button)->click();
    });
    return box.exec();
}

TEST_F(MessageBoxDialogTest, ResultsOfOkCancelAndClose) {
    MessageBoxDialog ok;
    ok.SetMessage(QString::fromUtf8("您是否确定要关闭软件？"));
    ok.SetButtons(2, QString::fromUtf8("确定"), QString::fromUtf8("取消"));
    EXPECT_EQ(RunAndClick(ok, "pushButton_ok"), 1);

    MessageBoxDialog cancel;
    cancel.SetButtons(2, QString::fromUtf8("确定"), QString::fromUtf8("取消"));
    EXPECT_EQ(RunAndClick(cancel, "pushButton_cancel"), 0);

    MessageBoxDialog close;
    close.SetButtons(1, QString::fromUtf8("确定"));
    EXPECT_EQ(RunAndClick(close, "pushButton_message_box_close"), -1);
}

}  // namespace
