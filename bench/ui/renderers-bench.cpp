#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTimerEvent>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <libyuv/convert_argb.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "ui/opengl-widget.h"
#include "ui/painter-widget.h"

namespace {

// A 1080p I420 picture with the decoder's usual padded line sizes and some
// structure in every plane (a flat picture would flatter no one, but be safe).
const FrameHolder& Picture1080p() {
    static FrameHolder picture = [] {
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = 1920;
        frame->height = 1080;
        av_frame_get_buffer(frame, 64);
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? 1080 : 540;
            const int cols = p == 0 ? 1920 : 960;
            for (int y = 0; y < rows; ++y) {
                uint8_t* line = frame->data[p] + static_cast<size_t>(y) * frame->linesize[p];
                for (int x = 0; x < cols; ++x)
                    line[x] = static_cast<uint8_t>(16 + (x * 3 + y * (p + 1)) % 220);
            }
        }
        return FrameHolder::Adopt(frame);
    }();
    return picture;
}

template <typename Widget>
void Tick(Widget& widget) {
    QTimerEvent event(widget.repaintTimerId());
    QCoreApplication::sendEvent(&widget, &event);
}

template <typename Widget>
bool ShowExposed(Widget& widget) {
    widget.resize(1280, 720);
    widget.show();
    QElapsedTimer timer;
    timer.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed())) {
        if (timer.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void BM_PainterSetFrame1080p(benchmark::State& state) {
    PainterWidget widget;
    const FrameHolder& picture = Picture1080p();
    widget.setFrame(picture);  // the scaling context and image are made once
    for (auto _ : state)
        widget.setFrame(picture);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PainterSetFrame1080p)->Unit(benchmark::kMicrosecond);

void BM_LibyuvI420ToARGB1080p(benchmark::State& state) {
    const FrameHolder& picture = Picture1080p();
    std::vector<uint8_t> argb(1920 * 1080 * 4);
    for (auto _ : state) {
        libyuv::I420ToARGB(picture.data(0), picture.linesize(0), picture.data(1),
                           picture.linesize(1), picture.data(2), picture.linesize(2), argb.data(),
                           1920 * 4, 1920, 1080);
        benchmark::DoNotOptimize(argb.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibyuvI420ToARGB1080p)->Unit(benchmark::kMicrosecond);

void BM_OpenGLSetFrame1080p(benchmark::State& state) {
    OpenGLWidget widget;
    const FrameHolder& picture = Picture1080p();
    for (auto _ : state)
        widget.setFrame(picture);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenGLSetFrame1080p)->Unit(benchmark::kMicrosecond);

// The widget's own paint, without the window system: paint event, box
// scaling to 1280 x 720 and the copy into an RGB32 surface.
void BM_PainterPaint1080pAt720p(benchmark::State& state) {
    PainterWidget widget;
    if (!ShowExposed(widget)) {
        state.SkipWithError("the window was never exposed");
        return;
    }
    widget.setFrame(Picture1080p());
    Tick(widget);
    QImage surface(1280, 720, QImage::Format_RGB32);
    for (auto _ : state)
        widget.render(&surface);
}
BENCHMARK(BM_PainterPaint1080pAt720p)->Unit(benchmark::kMicrosecond);

// paintGL reached directly: a repaint through the window may be coalesced or
// dropped by Qt's composition, which would time nothing.
class MeasuredOpenGLWidget : public OpenGLWidget {
public:
    void paintOnce() {
        makeCurrent();
        paintGL();
        context()->functions()->glFinish();
        doneCurrent();
    }
};

// The widget's own paint: plane uploads and the shader pass into its
// framebuffer, finished on the GL side before the clock stops.
void BM_OpenGLPaint1080pAt720p(benchmark::State& state) {
    MeasuredOpenGLWidget widget;
    if (!ShowExposed(widget) || !widget.context()) {
        state.SkipWithError("no exposed window with a GL context");
        return;
    }
    widget.setFrame(Picture1080p());
    for (auto _ : state)
        widget.paintOnce();
    widget.makeCurrent();
    state.SetLabel(
        reinterpret_cast<const char*>(widget.context()->functions()->glGetString(GL_RENDERER)));
    widget.doneCurrent();
}
BENCHMARK(BM_OpenGLPaint1080pAt720p)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "renderers_bench needs an X server: set DISPLAY (Xvfb will do)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
