// Both renderers face the same pictures: colours of padded planes, where the
// picture lands, hidden widgets and pictures from another thread. Ticks and
// paints are driven here (timer events sent by hand, grabs), never waited for.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimerEvent>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "tests/support/test-host.h"
#include "tests/ui/renderer-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/opengl-widget.h"
#include "ui/painter-widget.h"

namespace {

using rendertest::Bt601;
using rendertest::LitArea;
using rendertest::Near;
using rendertest::Rgb;
using rendertest::Yuv;

const Yuv kRed{81, 90, 240};
const Yuv kGreen{145, 54, 34};
const Yuv kBlue{41, 240, 110};
const Yuv kYellow{210, 16, 146};
const Yuv kCyan{170, 166, 16};
const Yuv kMagenta{106, 202, 222};
const Yuv kGrey{126, 128, 128};
const Yuv kWhite{235, 128, 128};
// Loud enough that any sampled padding byte shows: bright green-yellow.
const Yuv kPadding{255, 0, 0};

// Drives one widget kind the same way: feed = setFrame + one repaint tick.
// The application must exist before the widget member is built.
struct WithApp {
    WithApp() { uitest::App(); }
};

template <typename Widget>
class Driver : private WithApp {
public:
    Driver(int w, int h) { widget.resize(w, h); }
    void tick() {
        QTimerEvent event(widget.repaintTimerId());
        QCoreApplication::sendEvent(&widget, &event);
    }
    void feed(const FrameHolder& picture) {
        widget.setFrame(picture);
        tick();
    }
    QImage picture();

    Widget widget;
};

template <>
QImage Driver<OpenGLWidget>::picture() {
    return widget.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

template <>
QImage Driver<PainterWidget>::picture() {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

template <typename Widget>
class RendererTest : public ::testing::Test {
protected:
    static const char* Name() {
        return std::is_same<Widget, OpenGLWidget>::value ? "opengl" : "painter";
    }
};

using Widgets = ::testing::Types<OpenGLWidget, PainterWidget>;
TYPED_TEST_SUITE(RendererTest, Widgets);

struct ColourCase {
    int format;
    int lineSize;
    const char* name;
};

// 4 x 2 patches of 250 x 250 on a 1000 x 500 picture shown at its own size.
TYPED_TEST(RendererTest, PaddedPlanesShowBt601Colours) {
    const Yuv patches[8] = {kRed, kGreen, kBlue, kYellow, kCyan, kMagenta, kGrey, kWhite};
    auto colourAt = [&patches](int x, int y) { return patches[(y / 250) * 4 + x / 250]; };
    const ColourCase cases[] = {{AV_PIX_FMT_YUV420P, 1024, "i420-padded"},
                                {AV_PIX_FMT_NV12, 1024, "nv12-padded"},
                                {AV_PIX_FMT_YUVJ420P, 1024, "yuvj420p-padded"},
                                {AV_PIX_FMT_YUV420P, 1000, "i420-tight"},
                                {AV_PIX_FMT_NV12, 1000, "nv12-tight"}};
    Driver<TypeParam> driver(1000, 500);
    driver.widget.show();
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(c.name);
        driver.feed(rendertest::MakePicture(c.format, 1000, 500, c.lineSize, colourAt, kPadding));
        const QImage image = driver.picture();
        ASSERT_EQ(image.size(), QSize(1000, 500));
        bool good = true;
        for (int i = 0; i < 8; ++i) {
            const Rgb want = Bt601(patches[i]);
            const QPoint centre(125 + (i % 4) * 250, 125 + (i / 4) * 250);
            for (int dy = -50; dy <= 50; dy += 10) {
                for (int dx = -50; dx <= 50; dx += 10) {
                    const QRgb got = image.pixel(centre + QPoint(dx, dy));
                    if (!Near(got, want, 6)) {
                        good = false;
                        ADD_FAILURE()
                            << "patch " << i << " at " << centre.x() + dx << "," << centre.y() + dy
                            << ": " << qRed(got) << " " << qGreen(got) << " " << qBlue(got)
                            << ", want " << want.r << " " << want.g << " " << want.b;
                        dx = dy = 50;
                    }
                }
            }
        }
        const Rgb padding = Bt601(kPadding);
        int paddingPixels = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                paddingPixels += Near(image.pixel(x, y), padding, 10) ? 1 : 0;
        }
        EXPECT_EQ(paddingPixels, 0);
        if (!good || paddingPixels > 0)
            uitest::KeepPicture(image, QString("%1-%2").arg(this->Name(), c.name));
    }
}

// Columns 0..239 and 1040..1279 green, then red up to the middle, blue after.
FrameHolder StripedWidePicture() {
    auto colourAt = [](int x, int) {
        if (x < 240 || x >= 1040)
            return kGreen;
        return x < 640 ? kRed : kBlue;
    };
    return rendertest::MakePicture(AV_PIX_FMT_YUV420P, 1280, 720, 1280, colourAt, kPadding);
}

bool NearRect(const QRect& got, const QRect& want, int slack) {
    return std::abs(got.left() - want.left()) <= slack &&
           std::abs(got.top() - want.top()) <= slack &&
           std::abs(got.right() - want.right()) <= slack &&
           std::abs(got.bottom() - want.bottom()) <= slack;
}

TYPED_TEST(RendererTest, PictureFitsCentredOrKeepsItsOwnSize) {
    zutest::TestHost host;
    Driver<TypeParam> driver(800, 800);
    driver.widget.show();

    driver.feed(rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 1280, 720, kWhite));
    QImage image = driver.picture();
    EXPECT_PRED3(NearRect, LitArea(image), QRect(0, 175, 800, 450), 1);

    driver.feed(rendertest::UniformPicture(AV_PIX_FMT_NV12, 720, 1280, kWhite));
    image = driver.picture();
    EXPECT_PRED3(NearRect, LitArea(image), QRect(175, 0, 450, 800), 1);

    // Read at every paint: no new picture is needed for the change to show.
    driver.feed(StripedWidePicture());
    CD->valueStore->set("Video.ScaleShow", bg::Value(false));
    image = driver.picture();
    EXPECT_PRED3(NearRect, LitArea(image), QRect(0, 40, 800, 720), 1);
    const Rgb green = Bt601(kGreen), red = Bt601(kRed), blue = Bt601(kBlue);
    // Both renderers put each column where it belongs: a picture shifted by
    // even a few columns shows green at the left or the wrong colour here.
    const int slack = 1;
    int greenPixels = 0;
    for (int x = slack; x < 800; ++x)
        greenPixels += Near(image.pixel(x, 400), green, 20) ? 1 : 0;
    EXPECT_EQ(greenPixels, 0) << "columns outside the widget must be cut off";
    EXPECT_TRUE(Near(image.pixel(400 - slack - 2, 400), red, 8));
    EXPECT_TRUE(Near(image.pixel(400 + slack + 2, 400), blue, 8));
    if (this->HasFailure())
        uitest::KeepPicture(image, QString("%1-own-size").arg(this->Name()));

    CD->valueStore->set("Video.ScaleShow", bg::Value(true));
    image = driver.picture();
    EXPECT_PRED3(NearRect, LitArea(image), QRect(0, 175, 800, 450), 1);
    EXPECT_TRUE(Near(image.pixel(75, 400), green, 8)) << "fitted pictures are not cut";
}

TYPED_TEST(RendererTest, HiddenWidgetTicksWaitUntilShown) {
    Driver<TypeParam> driver(320, 240);
    driver.widget.setFrame(rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 240, kWhite));
    driver.tick();
    driver.tick();
    EXPECT_TRUE(driver.widget.dirty());
    // The painter's display image is what its ticks fill; GL paints read the
    // picture itself and have no such stage.
    if (std::is_same<TypeParam, PainterWidget>::value) {
        EXPECT_TRUE(LitArea(driver.picture()).isEmpty());
    }
    driver.widget.show();
    driver.tick();
    EXPECT_FALSE(driver.widget.dirty());
    EXPECT_EQ(LitArea(driver.picture()), QRect(0, 0, 320, 240));
    driver.tick();
    EXPECT_FALSE(driver.widget.dirty());
}

struct StressPicture {
    FrameHolder frame;
    Rgb colour;
};

// A decoder-like thread replaces the picture at 200 Hz with pictures of other
// sizes and colours while the GUI thread ticks, paints and grabs. Every grab
// must show one picture whole: one colour, laid out for that picture's size.
TYPED_TEST(RendererTest, PicturesFromAnotherThreadNeverMix) {
    struct Kind {
        int w, h, format;
        Yuv colour;
    };
    const Kind kinds[] = {{320, 240, AV_PIX_FMT_YUV420P, kRed},
                          {640, 360, AV_PIX_FMT_NV12, kGreen},
                          {176, 144, AV_PIX_FMT_YUVJ420P, kBlue},
                          {360, 640, AV_PIX_FMT_YUV420P, kYellow},
                          {321, 181, AV_PIX_FMT_NV12, kCyan}};
    std::vector<StressPicture> pictures;
    for (const Kind& k : kinds)
        pictures.push_back(
            {rendertest::UniformPicture(k.format, k.w, k.h, k.colour), Bt601(k.colour)});

    Driver<TypeParam> driver(400, 400);
    driver.widget.show();
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread decoder([&] {
        for (size_t i = 0; !stop; ++i) {
            driver.widget.setFrame(pictures[i % pictures.size()].frame);
            ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int grabs = 0;
    while (std::chrono::steady_clock::now() < end || grabs < 20) {
        driver.tick();
        QCoreApplication::processEvents();
        const QImage image = driver.picture();
        ++grabs;
        const QRect lit = LitArea(image);
        if (lit.isEmpty())
            continue;  // before the first picture
        const QRgb centre = image.pixel(lit.center());
        const StressPicture* shown = nullptr;
        for (const StressPicture& p : pictures)
            shown = Near(centre, p.colour, 8) ? &p : shown;
        ASSERT_NE(shown, nullptr) << "a colour no picture has";
        const QSizeF size(shown->frame.width(), shown->frame.height());
        const QSizeF fitted = size.scaled(400, 400, Qt::KeepAspectRatio);
        EXPECT_NEAR(lit.width(), fitted.width(), 2) << shown->frame.width();
        EXPECT_NEAR(lit.height(), fitted.height(), 2) << shown->frame.height();
        int foreign = 0;
        for (int y = lit.top(); y <= lit.bottom(); y += 3) {
            for (int x = lit.left(); x <= lit.right(); x += 3)
                foreign += Near(image.pixel(x, y), shown->colour, 8) ? 0 : 1;
        }
        EXPECT_EQ(foreign, 0);
        if (this->HasFailure()) {
            uitest::KeepPicture(image, QString("%1-mixed").arg(this->Name()));
            break;
        }
    }
    stop = true;
    decoder.join();
    EXPECT_GT(sent.load(), 0);
}

QRgb Centre(const QImage& image) {
    return image.pixel(image.width() / 2, image.height() / 2);
}

TEST(OpenGLWidgetTest, UnsupportedEmptyOrZeroSizedPictureDrawsBlack) {
    Driver<OpenGLWidget> driver(320, 240);
    driver.widget.show();
    const FrameHolder white = rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 240, kWhite);
    driver.feed(white);
    EXPECT_EQ(LitArea(driver.picture()), QRect(0, 0, 320, 240));
    driver.feed(rendertest::UniformPicture(AV_PIX_FMT_YUV422P, 320, 240, kWhite));
    EXPECT_TRUE(LitArea(driver.picture()).isEmpty());
    driver.feed(white);
    driver.feed(FrameHolder());
    EXPECT_TRUE(LitArea(driver.picture()).isEmpty());
    FrameHolder zeroSized = rendertest::UniformPicture(AV_PIX_FMT_NV12, 64, 64, kWhite);
    zeroSized.get()->width = 0;
    driver.feed(zeroSized);
    EXPECT_TRUE(LitArea(driver.picture()).isEmpty());
}

TEST(OpenGLWidgetTest, FrameRateRestartsTheTimerAndIgnoresNonsense) {
    Driver<OpenGLWidget> driver(64, 64);
    driver.widget.show();
    driver.widget.setFrameRate(0);  // no interval: keeps the timer it has
    driver.widget.setFrameRate(-5);
    driver.widget.setFrameRate(100000);  // at least 1 ms, never a busy loop
    driver.widget.setFrameRate(100);
    ASSERT_GT(driver.widget.repaintTimerId(), 0);
    driver.widget.setFrame(rendertest::UniformPicture(AV_PIX_FMT_NV12, 64, 64, kWhite));
    driver.tick();
    EXPECT_FALSE(driver.widget.dirty());
}

TEST(PainterWidgetTest, UnsupportedPictureKeepsThePreviousOneAndEmptyBlanks) {
    Driver<PainterWidget> driver(320, 240);
    driver.widget.show();
    driver.feed(rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 240, kRed));
    EXPECT_TRUE(Near(Centre(driver.picture()), Bt601(kRed), 6));
    driver.feed(rendertest::UniformPicture(AV_PIX_FMT_YUV422P, 320, 240, kBlue));
    EXPECT_TRUE(Near(Centre(driver.picture()), Bt601(kRed), 6));
    EXPECT_EQ(LitArea(driver.picture()), QRect(0, 0, 320, 240));

    driver.feed(FrameHolder());
    EXPECT_TRUE(LitArea(driver.picture()).isEmpty());
    driver.feed(rendertest::UniformPicture(AV_PIX_FMT_YUV422P, 320, 240, kBlue));
    EXPECT_TRUE(LitArea(driver.picture()).isEmpty());

    // Pictures between two ticks replace one another: the last one shows.
    driver.widget.setFrame(rendertest::UniformPicture(AV_PIX_FMT_NV12, 160, 120, kRed));
    driver.widget.setFrame(rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 240, kGreen));
    driver.tick();
    EXPECT_TRUE(Near(Centre(driver.picture()), Bt601(kGreen), 6));
}

}  // namespace
