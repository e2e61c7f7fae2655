// The OpenGL renderer on a context whose shading language rejects the video
// shaders (OpenGL ES: no default float precision in a fragment shader). It
// must log the failure once and stay black, never crash.
#include <gtest/gtest.h>

#include <QSurfaceFormat>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "tests/support/test-host.h"
#include "tests/ui/renderer-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/opengl-widget.h"

namespace {

TEST(OpenGLWidgetGlesTest, ShadersThatCannotBuildLogOnceAndDrawBlack) {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGLES);
    format.setVersion(2, 0);
    QSurfaceFormat::setDefaultFormat(format);
    zutest::TestHost host;
    uitest::App();

    OpenGLWidget widget;
    widget.resize(320, 240);
    widget.show();
    const QString failure = "video shader cannot be built";
    for (int format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12}) {
        widget.setFrame(rendertest::UniformPicture(format, 320, 240, {235, 128, 128}));
        const QImage image = widget.grabFramebuffer();
        ASSERT_FALSE(image.isNull()) << "no context at all";
        ASSERT_TRUE(widget.context()->isOpenGLES()) << "the test needs an ES context";
        EXPECT_TRUE(rendertest::LitArea(image).isEmpty());
    }
    EXPECT_EQ(host.count(failure.toStdString()), 1);
}

}  // namespace
