#include "ui/frameless-helper.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "tests/ui/ui-test-app.h"
#include "ui/hit-test.h"
#include "ui/message-box-dialog.h"
#include "ui/resize-observer.h"
#include "ui/ui-setup.h"

namespace {

using namespace frameless;

// The main window's rules on a 900x634 window at the origin of the screen:
// 11 px bands at the top and left, 10 px at the bottom and right, a 66 px
// caption and one title button in it.
class MainWindowRules : public ResizeObserver {
public:
    bool isInTopEdge(int, int y) const override { return y < 11; }
    bool isInBottomEdge(int, int y) const override { return y >= kHeight - 10; }
    bool isInLeftEdge(int x, int) const override { return x < 11; }
    bool isInRightEdge(int x, int) const override { return x >= kWidth - 10; }
    bool isInCaption(int x, int y) const override { return y <= 66 && !kButton.contains(x, y); }

    static constexpr int kWidth = 900;
    static constexpr int kHeight = 634;
    const QRect kButton{840, 24, 18, 18};
};

TEST(HitTest, CornersWinOverEdgesAndEdgesOverTheCaption) {
    const MainWindowRules rules;
    EXPECT_EQ(HitTest(rules, 0, 0), kHitTopLeft);
    EXPECT_EQ(HitTest(rules, 10, 10), kHitTopLeft);
    EXPECT_EQ(HitTest(rules, 899, 0), kHitTopRight);
    EXPECT_EQ(HitTest(rules, 3, 633), kHitBottomLeft);
    EXPECT_EQ(HitTest(rules, 899, 633), kHitBottomRight);
    EXPECT_EQ(HitTest(rules, 0, 300), kHitLeft);
    EXPECT_EQ(HitTest(rules, 899, 300), kHitRight);
    EXPECT_EQ(HitTest(rules, 400, 5), kHitTop);
    EXPECT_EQ(HitTest(rules, 400, 630), kHitBottom);
}

TEST(HitTest, BandBoundaries) {
    const MainWindowRules rules;
    EXPECT_EQ(HitTest(rules, 400, 10), kHitTop);
    EXPECT_EQ(HitTest(rules, 400, 11), kHitCaption);
    EXPECT_EQ(HitTest(rules, 890, 300), kHitRight);
    EXPECT_EQ(HitTest(rules, 889, 300), kHitClient);
    EXPECT_EQ(HitTest(rules, 11, 300), kHitClient);
    EXPECT_EQ(HitTest(rules, 400, 624), kHitBottom);
    EXPECT_EQ(HitTest(rules, 400, 623), kHitClient);
}

TEST(HitTest, CaptionButTitleButtonsAndBodyAreClient) {
    const MainWindowRules rules;
    EXPECT_EQ(HitTest(rules, 400, 40), kHitCaption);
    EXPECT_EQ(HitTest(rules, 400, 66), kHitCaption);
    EXPECT_EQ(HitTest(rules, 400, 67), kHitClient);
    EXPECT_EQ(HitTest(rules, 845, 30), kHitClient);
    EXPECT_EQ(HitTest(rules, 450, 300), kHitClient);
    // An observer that answers nothing leaves everything to the window.
    EXPECT_EQ(HitTest(ResizeObserver(), 0, 0), kHitClient);
}

TEST(HitTest, EdgesAndCursorsOfEachCode) {
    EXPECT_EQ(HitEdges(kHitTopLeft), Qt::TopEdge | Qt::LeftEdge);
    EXPECT_EQ(HitEdges(kHitBottomRight), Qt::BottomEdge | Qt::RightEdge);
    EXPECT_EQ(HitEdges(kHitTopRight), Qt::TopEdge | Qt::RightEdge);
    EXPECT_EQ(HitEdges(kHitBottomLeft), Qt::BottomEdge | Qt::LeftEdge);
    EXPECT_EQ(HitEdges(kHitLeft), Qt::LeftEdge);
    EXPECT_EQ(HitEdges(kHitCaption), Qt::Edges());
    EXPECT_EQ(HitEdges(kHitClient), Qt::Edges());
    EXPECT_EQ(HitCursor(kHitTopLeft), Qt::SizeFDiagCursor);
    EXPECT_EQ(HitCursor(kHitBottomLeft), Qt::SizeBDiagCursor);
    EXPECT_EQ(HitCursor(kHitTop), Qt::SizeVerCursor);
    EXPECT_EQ(HitCursor(kHitRight), Qt::SizeHorCursor);
    EXPECT_EQ(HitCursor(kHitCaption), Qt::ArrowCursor);
}

// Waits (at most 5 s) for a condition the window system brings about.
template <typename Condition>
bool WaitFor(Condition condition) {
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool ShowAndWait(QWidget* widget) {
    widget->show();
    return WaitFor(
        [widget] { return widget->windowHandle() && widget->windowHandle()->isExposed(); });
}

class FramelessWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        SetUpUiResources();
    }
};

// A press goes through the whole road of a real press: the window system
// interface, the application's filters, the window.
void Press(QWidget* widget, QPoint at) {
    QTest::mousePress(widget->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

void Release(QWidget* widget, QPoint at) {
    QTest::mouseRelease(widget->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

TEST_F(FramelessWindowTest, DialogCaptionPressMovesAndCloseButtonPressDoesNot) {
    MessageBoxDialog box;
    box.SetMessage(QString::fromUtf8("您是否确定要关闭软件？"));
    box.SetButtons(2, QString::fromUtf8("确定"), QString::fromUtf8("取消"));
    ASSERT_TRUE(ShowAndWait(&box));
    std::vector<int> gestures;
    QObject::connect(box.framelessHelper(), &FramelessHelper::sig_systemGesture,
                     [&gestures](int code) { gestures.push_back(code); });

    auto* caption = box.findChild<QWidget*>("widget_title");
    auto* close = box.findChild<QPushButton*>("pushButton_message_box_close");
    ASSERT_TRUE(caption && close);
    const QPoint inCaption = caption->mapTo(&box, QPoint(20, caption->height() / 2));
    const QPoint onClose = close->mapTo(&box, close->rect().center());

    // The dialog's rule itself, in screen coordinates.
    const QPoint global = box.mapToGlobal(inCaption);
    EXPECT_EQ(HitTest(box, global.x(), global.y()), kHitCaption);
    const QPoint closeGlobal = box.mapToGlobal(onClose);
    EXPECT_EQ(HitTest(box, closeGlobal.x(), closeGlobal.y()), kHitClient);
    const QPoint body = box.mapToGlobal(QPoint(box.width() / 2, caption->height() + 5));
    EXPECT_EQ(HitTest(box, body.x(), body.y()), kHitClient);

    Press(&box, inCaption);
    Release(&box, inCaption);
    EXPECT_EQ(gestures, std::vector<int>{kHitCaption});

    Press(&box, onClose);
    Release(&box, onClose);
    EXPECT_EQ(gestures, std::vector<int>{kHitCaption});
    // The cross stayed clickable: the box ended with its close result.
    EXPECT_EQ(box.result(), MessageBoxDialog::kResultClose);
}

// On an X server without a window manager the system move and resize are
// refused, and the helper follows the pointer itself.
class BareFramelessWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!uitest::UseBareDisplay(&why))
            GTEST_SKIP() << why;
        uitest::App();
        SetUpUiResources();
    }
};

TEST_F(BareFramelessWindowTest, WithoutWindowManagerSupportTheCaptionDragsTheWindow) {
    MessageBoxDialog box;
    box.SetMessage(QString::fromUtf8("提示"));
    box.move(100, 100);
    ASSERT_TRUE(ShowAndWait(&box));
    const QPoint start = box.frameGeometry().topLeft();
    const QPoint grip(30, 15);
    Press(&box, grip);
    QTest::mouseMove(box.windowHandle(), grip + QPoint(40, 25));
    // The window moved under the pointer: the pointer is on the grip again.
    Release(&box, grip);
    EXPECT_TRUE(WaitFor([&] { return box.frameGeometry().topLeft() == start + QPoint(40, 25); }))
        << "window at " << box.frameGeometry().x() << "," << box.frameGeometry().y();
}

// A resizable frameless window: 10 px edges all round.
class EdgeWindow : public QWidget, public ResizeObserver {
public:
    EdgeWindow() {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        resize(300, 200);
    }
    bool isInTopEdge(int x, int y) const override { return mapFromGlobal(QPoint(x, y)).y() < 10; }
    bool isInBottomEdge(int x, int y) const override {
        return mapFromGlobal(QPoint(x, y)).y() >= height() - 10;
    }
    bool isInLeftEdge(int x, int y) const override { return mapFromGlobal(QPoint(x, y)).x() < 10; }
    bool isInRightEdge(int x, int y) const override {
        return mapFromGlobal(QPoint(x, y)).x() >= width() - 10;
    }
    // The window's own limit on top of its minimum size: at most 360 wide.
    void onSizing(int edges, int*, int*, int* left, int* right) override {
        ++sizings;
        if (*right - *left > 360) {
            if (edges & kSizingLeft)
                *left = *right - 360;
            else
                *right = *left + 360;
        }
    }
    int sizings = 0;
};

TEST_F(FramelessWindowTest, EdgesShowResizeCursorsAndStartResizing) {
    EdgeWindow window;
    auto* helper = new FramelessHelper(&window, &window);
    ASSERT_TRUE(ShowAndWait(&window));
    std::vector<int> gestures;
    QObject::connect(helper, &FramelessHelper::sig_systemGesture,
                     [&gestures](int code) { gestures.push_back(code); });

    QTest::mouseMove(window.windowHandle(), QPoint(3, 100));
    EXPECT_TRUE(window.testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(window.cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(window.windowHandle(), QPoint(296, 197));
    EXPECT_EQ(window.cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(window.windowHandle(), QPoint(150, 100));
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

    Press(&window, QPoint(150, 2));
    Release(&window, QPoint(150, 2));
    Press(&window, QPoint(150, 100));
    Release(&window, QPoint(150, 100));
    EXPECT_EQ(gestures, std::vector<int>{kHitTop});
}

// Drags with the left button from `from` by `by` (window coordinates at the
// press); the release happens where the pointer is after the window changed.
void Drag(QWidget* window, QPoint from, QPoint by) {
    const QPoint global = window->mapToGlobal(from) + by;
    Press(window, from);
    QTest::mouseMove(window->windowHandle(), from + by);
    Release(window, window->mapFromGlobal(global));
}

TEST_F(BareFramelessWindowTest, WithoutWindowManagerSupportEdgesResizeWithinTheWindowsLimits) {
    EdgeWindow window;
    window.setMinimumSize(200, 150);
    new FramelessHelper(&window, &window);
    window.move(100, 100);
    ASSERT_TRUE(ShowAndWait(&window));
    const QRect start = window.geometry();

    Drag(&window, QPoint(297, 197), QPoint(30, 20));
    EXPECT_TRUE(
        WaitFor([&] { return window.geometry() == QRect(start.topLeft(), QSize(330, 220)); }));
    EXPECT_GT(window.sizings, 0);

    // The left edge moves, the right one stays.
    Drag(&window, QPoint(2, 100), QPoint(-20, 0));
    EXPECT_TRUE(
        WaitFor([&] { return window.geometry() == QRect(start.x() - 20, start.y(), 350, 220); }));

    // The observer's limit and the minimum size hold the dragged side.
    Drag(&window, QPoint(348, 100), QPoint(100, 0));
    EXPECT_TRUE(WaitFor([&] { return window.geometry().width() == 360; }));
    Drag(&window, QPoint(100, 217), QPoint(0, -300));
    EXPECT_TRUE(WaitFor([&] { return window.geometry().height() == 150; }));
    EXPECT_EQ(window.geometry().topLeft(), QPoint(start.x() - 20, start.y()));
}

TEST_F(FramelessWindowTest, RegistryFollowsTheNativeWindowAndForgetsDestroyedHelpers) {
    auto window = std::make_unique<EdgeWindow>();
    auto* first = new FramelessHelper(window.get(), window.get());
    ASSERT_TRUE(ShowAndWait(window.get()));
    const WId id = window->winId();
    EXPECT_EQ(FramelessHelper::Find(id), first);

    // A second helper does not take the window from the first.
    auto* second = new FramelessHelper(window.get(), window.get());
    EXPECT_EQ(FramelessHelper::Find(id), first);
    delete second;
    EXPECT_EQ(FramelessHelper::Find(id), first);

    // A widget that loses its native window (here by becoming a child for a
    // while) gets a new one when it is a window again; it stays draggable.
    QWidget holder;
    window->setParent(&holder);
    window->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
    ASSERT_TRUE(ShowAndWait(window.get()));
    const WId recreated = window->winId();
    ASSERT_NE(recreated, id);
    EXPECT_EQ(FramelessHelper::Find(recreated), first);
    EXPECT_EQ(FramelessHelper::Find(id), nullptr);

    // A destroyed helper is gone from the registry, and the window's events
    // no longer reach it.
    delete first;
    EXPECT_EQ(FramelessHelper::Find(recreated), nullptr);
    Press(window.get(), QPoint(150, 2));
    Release(window.get(), QPoint(150, 2));
    window.reset();
    EXPECT_EQ(FramelessHelper::Find(recreated), nullptr);
}

TEST_F(FramelessWindowTest, AWindowWithAFrameIsLeftAlone) {
    EdgeWindow window;
    window.setWindowFlags(Qt::Window);
    auto* helper = new FramelessHelper(&window, &window);
    ASSERT_TRUE(ShowAndWait(&window));
    EXPECT_EQ(FramelessHelper::Find(window.winId()), nullptr);
    (void)helper;
}

}  // namespace
