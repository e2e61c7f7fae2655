#include "ui/ui-language.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTextDocument>
#include <QtMath>
#include <functional>
#include <iostream>
#include <memory>
#include <vector>

#include "output-path.h"
#include "tests/ui/dialog-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/about-us-dialog.h"
#include "ui/custom-tips-dialog.h"
#include "ui/guid-widget.h"
#include "ui/help-dialog.h"
#include "ui/help-info-dialog.h"
#include "ui/main-form.h"
#include "ui/main-window.h"
#include "ui/menu-state-form.h"
#include "ui/message-box-dialog.h"
#include "ui/open-usb-help-dialog.h"
#include "ui/qss-manager.h"
#include "ui/setting-dialog.h"
#include "ui/system-tray.h"
#include "ui/ui-setup.h"

namespace {

using ui_language::Language;

TEST(PickLanguageTest, ChineseLocalesKeepTheDesignedTexts) {
    for (const char* locale : {"zh_CN", "zh_TW", "zh_HK.UTF-8", "zh"})
        EXPECT_EQ(ui_language::Pick(QString(), locale), Language::kChinese) << locale;
    for (const char* locale : {"en_US", "de_DE", "ja_JP", "C", "", "z", "hz_CN"})
        EXPECT_EQ(ui_language::Pick(QString(), locale), Language::kEnglish) << locale;
}

TEST(PickLanguageTest, OverrideWinsOverTheLocaleAndUnknownValuesAreIgnored) {
    EXPECT_EQ(ui_language::Pick("en", "zh_CN"), Language::kEnglish);
    EXPECT_EQ(ui_language::Pick("zh", "de_DE"), Language::kChinese);
    EXPECT_EQ(ui_language::Pick(" ZH\n", "C"), Language::kChinese);
    EXPECT_EQ(ui_language::Pick("fr", "zh_CN"), Language::kChinese);
    EXPECT_EQ(ui_language::Pick("fr", "fr_FR"), Language::kEnglish);
}

class LanguageTest : public ::testing::TestWithParam<Language> {
protected:
    static void SetUpTestSuite() {
        // Dialogs draw without OpenGL; Mesa's GLX keeps allocations to the end.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        uitest::App();
        SetUpUiResources();
    }
    void SetUp() override { ASSERT_TRUE(ui_language::Install(GetParam())); }
    void TearDown() override { ui_language::Install(Language::kChinese); }

    bool english() const { return GetParam() == Language::kEnglish; }
    const char* text(const char* chinese, const char* english) const {
        return this->english() ? english : chinese;
    }
    QString name(const char* what) const {
        return QString::fromLatin1(what) + (english() ? "-en" : "-zh");
    }
};

template <typename T>
T* Child(QWidget* window, const char* name) {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QByteArray ReadResource(const char* path) {
    QFile file(QString::fromLatin1(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll();
}

// The text was drawn: the label's area of the window's picture holds strokes.
void ExpectDrawn(const QImage& picture, QWidget* window, const char* label) {
    ASSERT_FALSE(picture.isNull()) << "the window never appeared";
    EXPECT_GT(uitest::InkPixels(picture, uitest::AreaOf(Child<QWidget>(window, label))), 40)
        << label;
}

TEST_P(LanguageTest, EnvironmentOverridesTheSystemLocale) {
    const QByteArray before = qgetenv("ZUCAM_LANG");
    qputenv("ZUCAM_LANG", english() ? "en" : "zh");
    EXPECT_EQ(ui_language::FromEnvironment(), GetParam());
    qputenv("ZUCAM_LANG", before);
}

TEST_P(LanguageTest, WaitingPageSpeaksTheLanguage) {
    MainForm form;
    form.findChild<QStackedWidget*>("stackedWidget")->setCurrentIndex(0);
    const QImage picture = uitest::ShowAndGrab(&form);
    uitest::KeepPicture(picture, name("language-waiting-page"));
    EXPECT_EQ(Child<QLabel>(&form, "label_wait")->text(),
              QString::fromUtf8(text("正在等待连接", "Waiting for a connection")));
    EXPECT_EQ(Child<QPushButton>(&form, "pushButton_wire_link_1")->text(),
              QString::fromUtf8(text("无线连接", "Wi-Fi")));
    ExpectDrawn(picture, &form, "label_wait");
}

TEST_P(LanguageTest, SettingsDialogSpeaksTheLanguage) {
    SettingDialog dialog;
    const QImage picture = uitest::ShowAndGrab(&dialog);
    uitest::KeepPicture(picture, name("language-settings"));
    EXPECT_EQ(Child<QLabel>(&dialog, "label_set_titlename")->text(),
              QString::fromUtf8(text("更多设置", "Settings")));
    EXPECT_EQ(Child<QCheckBox>(&dialog, "checkBox_wintop")->text(),
              QString::fromUtf8(text("窗口置顶", "Keep the window on top")));
    EXPECT_EQ(Child<QLabel>(&dialog, "label_save_dir")->text(),
              QString::fromUtf8(text("保存目录：", "Save folder:")));
    ExpectDrawn(picture, &dialog, "label_set_titlename");
    ExpectDrawn(picture, &dialog, "checkBox_wintop");
}

TEST_P(LanguageTest, MessageBoxSpeaksTheLanguage) {
    // The window's failure messages come from UI-free code as designed texts.
    MessageBoxDialog box;
    box.SetMessage(QCoreApplication::translate("output_path", output_path::kMsgShotFailed));
    const QImage picture = uitest::ShowAndGrab(&box);
    uitest::KeepPicture(picture, name("language-message-box"));
    EXPECT_EQ(Child<QLabel>(&box, "label_msg")->text(),
              QString::fromUtf8(text("截图失败", "Screenshot failed")));
    EXPECT_EQ(Child<QPushButton>(&box, "pushButton_ok")->text(),
              QString::fromUtf8(text("确认", "OK")));
    EXPECT_EQ(Child<QPushButton>(&box, "pushButton_cancel")->text(),
              QString::fromUtf8(text("取消", "Cancel")));
    ExpectDrawn(picture, &box, "label_msg");
    ExpectDrawn(picture, &box, "pushButton_ok");
}

TEST_P(LanguageTest, HelpPageAndFilmFollowTheLanguage) {
    QFile page(":/help/help.html");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    EXPECT_TRUE(html.contains(QString::fromUtf8(text("第1步", "Step 1"))))
        << html.left(300).toStdString();
    // Every picture the page names exists in either language.
    for (const char* svg : {"step1-connect", "step2-settings", "step3-camera", "step4-microphone"})
        EXPECT_TRUE(QFile::exists(QString(":/help/%1.svg").arg(svg))) << svg;

    // The film of the other language is another film, and both play.
    const QByteArray film = ReadResource(":/image/home_android_usb.gif");
    ui_language::Install(english() ? Language::kChinese : Language::kEnglish);
    const QByteArray otherFilm = ReadResource(":/image/home_android_usb.gif");
    EXPECT_NE(film, otherFilm) << "both languages show the same film";
    for (const QByteArray& bytes : {film, otherFilm}) {
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer, "gif");
        EXPECT_GT(reader.imageCount(), 5);
        EXPECT_FALSE(reader.read().isNull()) << reader.errorString().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, LanguageTest,
                         ::testing::Values(Language::kChinese, Language::kEnglish),
                         [](const auto& info) {
                             return info.param == Language::kEnglish ? "English" : "Chinese";
                         });

// ---- Every text fits its widget -------------------------------------------

// The room a label's text needs: its lines for plain text, the laid-out
// document for rich text.
QSize TextSize(const QLabel* label) {
    const QString text = label->text();
    if (Qt::mightBeRichText(text) && label->textFormat() != Qt::PlainText) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        return QSize(qCeil(document.idealWidth()), qCeil(document.size().height()));
    }
    // As QLabel lays plain text out: line by line, at the font's line spacing.
    return QFontMetrics(label->font())
        .boundingRect(QRect(0, 0, 4000, 4000), Qt::AlignLeft | Qt::TextExpandTabs, text)
        .size();
}

bool InScrollArea(const QWidget* widget) {
    for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(w))
            return true;
    }
    return false;
}

// Every label and button of `window` whose text is wider (or, for labels,
// taller) than the room it has, as "name: needs WxH, has WxH".
QStringList CutTexts(QWidget* window) {
    QStringList cut;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty() || InScrollArea(label))
            continue;
        const QRect room = label->contentsRect();
        QSize need = TextSize(label);
        if (label->wordWrap())
            need = QSize(qMin(need.width(), room.width()),
                         label->heightForWidth(label->width()) - (label->height() - room.height()));
        if (need.width() > room.width() || need.height() > room.height())
            cut << QString("%1 \"%2\": needs %3x%4, has %5x%6")
                       .arg(label->objectName(), label->text().left(40))
                       .arg(need.width())
                       .arg(need.height())
                       .arg(room.width())
                       .arg(room.height());
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(window) || button->text().isEmpty())
            continue;
        // Check boxes and radio buttons add their indicator to the text.
        const bool indicator =
            qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
        const int need = indicator ? button->sizeHint().width()
                                   : QFontMetrics(button->font()).horizontalAdvance(button->text());
        const int room = indicator ? button->width() : button->contentsRect().width();
        if (need > room)
            cut << QString("%1 \"%2\": needs %3, has %4")
                       .arg(button->objectName(), button->text())
                       .arg(need)
                       .arg(room);
    }
    return cut;
}

// One window as a person meets it: built, prepared, shown.
struct Form {
    const char* name;
    std::function<std::unique_ptr<QWidget>()> make;
};

std::vector<Form> EveryForm() {
    auto page = [](int index) {
        return [index] {
            auto form = std::make_unique<MainForm>();
            form->findChild<QStackedWidget*>("stackedWidget")->setCurrentIndex(index);
            form->SetConnectedName("Pixel 7 Pro");
            return std::unique_ptr<QWidget>(std::move(form));
        };
    };
    return {
        // Listens and announces on the network: this program runs in a
        // private network namespace.
        {"main window", [] { return std::unique_ptr<QWidget>(new MainWindow); }},
        {"main form, Wi-Fi waiting page", page(0)},
        {"main form, USB waiting page", page(1)},
        {"main form, connected page", page(2)},
        {"state bar", [] { return std::unique_ptr<QWidget>(new MenuStateForm); }},
        {"state bar, connected",
         [] {
             auto bar = std::make_unique<MenuStateForm>();
             bar->SetDeviceState("Pixel 7 Pro");
             return std::unique_ptr<QWidget>(std::move(bar));
         }},
        {"settings", [] { return std::unique_ptr<QWidget>(new SettingDialog); }},
        {"about", [] { return std::unique_ptr<QWidget>(new AboutUsDialog); }},
        {"help, Wi-Fi steps", [] { return std::unique_ptr<QWidget>(new HelpDialog); }},
        {"help, USB steps",
         [] {
             auto dialog = std::make_unique<HelpDialog>();
             dialog->findChild<QPushButton*>("pushButton_usb_help")->click();
             return std::unique_ptr<QWidget>(std::move(dialog));
         }},
        {"help page", [] { return std::unique_ptr<QWidget>(new HelpInfoDialog); }},
        {"USB debugging help", [] { return std::unique_ptr<QWidget>(new OpenUSBHelpDialog); }},
        {"close question",
         [] {
             auto box = std::make_unique<MessageBoxDialog>();
             box->SetMessage(QCoreApplication::translate("MainWindow", "您是否确定要关闭软件？"));
             box->SetButtons(2, QCoreApplication::translate("MainWindow", "确定"),
                             QCoreApplication::translate("MainWindow", "取消"));
             return std::unique_ptr<QWidget>(std::move(box));
         }},
        {"screenshot tip",
         [] {
             auto tip = std::make_unique<CustomTipsDialog>(nullptr);
             tip->SetText(QCoreApplication::translate("MenuStateForm",
                                                      "截屏成功，可在\n设置中打开目录查看"));
             return std::unique_ptr<QWidget>(std::move(tip));
         }},
        {"guide bubble",
         [] {
             // The program sizes the bubble by the application object's scale
             // factor, the screen's; tests have no application object.
             auto bubble = std::make_unique<GuidWidget>(nullptr);
             const double f = QssManager::ScaleFactor();
             bubble->setFixedSize(int(280 * f), int(100 * f));
             return std::unique_ptr<QWidget>(std::move(bubble));
         }},
    };
}

TEST_P(LanguageTest, NoTextIsCutOff) {
    // Run once as the screen is and once with QT_FONT_DPI=144 (ctest does both).
    std::cout << "scale factor " << QssManager::ScaleFactor() << std::endl;
    for (const Form& form : EveryForm()) {
        std::unique_ptr<QWidget> window = form.make();
        const QImage picture = uitest::ShowAndGrab(window.get());
        EXPECT_FALSE(picture.isNull()) << form.name << " never appeared";
        const QStringList cut = CutTexts(window.get());
        EXPECT_TRUE(cut.isEmpty()) << form.name << ":\n  " << cut.join("\n  ").toStdString();
        if (!cut.isEmpty())
            uitest::KeepPicture(picture, "language-cut-" + QString(form.name).replace(' ', '-') +
                                             (english() ? "-en" : "-zh"));
    }
}

TEST_P(LanguageTest, NoticesFitTheirTips) {
    // Xvfb has no tray: notices appear as tips over the window.
    QWidget window;
    window.resize(900, 634);
    ASSERT_FALSE(uitest::ShowAndGrab(&window).isNull());
    SystemTray tray(&window);
    for (const char* notice :
         {"ip地址已复制到剪切板",
          "检测到电脑处于节能模式，可能会影响画面流畅度，建议调整为平衡模式或高性能模式"}) {
        tray.ShowMessage(QCoreApplication::translate("MainWindow", notice), 60000);
        QWidget* tip = tray.currentTip();
        ASSERT_NE(tip, nullptr);
        EXPECT_FALSE(uitest::ShowAndGrab(tip).isNull());
        const QStringList cut = CutTexts(tip);
        EXPECT_TRUE(cut.isEmpty()) << notice << ":\n  " << cut.join("\n  ").toStdString();
    }
}

}  // namespace
