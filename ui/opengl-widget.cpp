#include "ui/opengl-widget.h"

#include <QMutexLocker>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QTimerEvent>

#include <algorithm>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "hublet/log-sink.h"
#include "ui/video-picture.h"

namespace {

// x, y, u, v of a full-view quad drawn as a triangle strip; v runs downwards
// because the planes' first row is the picture's top row.
const float kVertices[16] = {
    -1.0f, -1.0f, 0.0f, 1.0f,  //
    1.0f,  -1.0f, 1.0f, 1.0f,  //
    -1.0f, 1.0f,  0.0f, 0.0f,  //
    1.0f,  1.0f,  1.0f, 0.0f,  //
};
static_assert(sizeof(kVertices) == 64, "four vertices of four floats");
const int kVertexStride = 4 * sizeof(float);

// Shader texts carry no version line: the same text compiles as GLSL 1.10 on
// every desktop context Qt may give us.
const char kVertexShader[] = R"(
attribute vec4 vertexIn;
attribute vec2 textureIn;
varying vec2 textureOut;
uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
void main() {
    gl_Position = projection * view * model * vec4(vertexIn.xy, 0.0, 1.0);
    textureOut = textureIn;
})";

// BT.601 limited range, column by column; the software renderer converts with
// the same coefficients, so both renderers show the same colours.
const char kNv12FragmentShader[] = R"(
varying vec2 textureOut;

uniform sampler2D tex_y;
uniform sampler2D tex_uv;
uniform float strideScaleY;
uniform float strideScaleUV;

mat4 bt601 = mat4(
    1.164384,  1.164384,  1.164384,  0.000000,
    0.000000, -0.391762,  2.017232,  0.000000,
    1.596027, -0.812968,  0.000000,  0.000000,
   -0.874202,  0.531668, -1.085631,  1.000000
);

void main(void) {
    vec2 vert_y = vec2(textureOut.x * strideScaleY, textureOut.y);
    vec2 vert_uv = vec2(textureOut.x * strideScaleUV, textureOut.y);

    float y = texture2D(tex_y, vert_y).r;
    float u = texture2D(tex_uv, vert_uv).r;
    float v = texture2D(tex_uv, vert_uv).g;
    vec4 rgba = bt601 * vec4(y, u, v, 1.0);
    rgba.a = 1.0;

    gl_FragColor = rgba;
})";

const char kPlanarFragmentShader[] = R"(
varying vec2 textureOut;

uniform sampler2D tex_y;
uniform sampler2D tex_u;
uniform sampler2D tex_v;
uniform float strideScaleY;
uniform float strideScaleU;
uniform float strideScaleV;

mat4 bt601 = mat4(
    1.164384,  1.164384,  1.164384,  0.000000,
    0.000000, -0.391762,  2.017232,  0.000000,
    1.596027, -0.812968,  0.000000,  0.000000,
   -0.874202,  0.531668, -1.085631,  1.000000
);

void main(void) {
    if (textureOut.x >= 0.0 && textureOut.x <= 1.0 && textureOut.y >= 0.0 && textureOut.y <= 1.0) {
        vec2 vert_y = vec2(textureOut.x * strideScaleY, textureOut.y);
        vec2 vert_u = vec2(textureOut.x * strideScaleU, textureOut.y);
        vec2 vert_v = vec2(textureOut.x * strideScaleV, textureOut.y);

        float y = texture2D(tex_y, vert_y).r;
        float u = texture2D(tex_u, vert_u).r;
        float v = texture2D(tex_v, vert_v).r;
        vec4 rgba = bt601 * vec4(y, u, v, 1.0);
        rgba.a = 1.0;
        gl_FragColor = rgba;
    } else {
        gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);
    }
})";

// The share of a texture row that holds picture: textures are uploaded with
// the full line size, and the bytes past the visible width must stay unseen.
float StrideScale(float visible, int lineSize) {
    return visible < static_cast<float>(lineSize) ? visible / static_cast<float>(lineSize) : 1.0f;
}

}  // namespace

OpenGLWidget::OpenGLWidget(QWidget* parent) : QOpenGLWidget(parent) {
    timerId_ = startTimer(40, Qt::CoarseTimer);
    dirty_ = true;
}

OpenGLWidget::~OpenGLWidget() {
    cleanup();
    // QOpenGLWidget's own destructor destroys the context after this class is
    // gone; its aboutToBeDestroyed must not reach cleanup on half an object.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
}

bool OpenGLWidget::setFrame(const FrameHolder& frame) {
    QMutexLocker lock(&mutex_);
    frame_ = frame;
    dirty_ = true;
    return true;
}

void OpenGLWidget::setFrameRate(int rate) {
    // A rate of 0 or less has no interval; a rate above 1000 must not become a
    // zero-interval timer that spins the GUI thread.
    if (rate <= 0)
        return;
    killTimer(timerId_);
    timerId_ = startTimer(std::max(1, 1000 / rate), Qt::CoarseTimer);
}

void OpenGLWidget::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QOpenGLWidget::timerEvent(event);
        return;
    }
    // Cleared before the repaint reads the picture: a picture arriving in
    // between sets it again instead of being lost.
    if (isVisible() && dirty_.exchange(false))
        update();
}

void OpenGLWidget::initializeGL() {
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &OpenGLWidget::cleanup,
            Qt::UniqueConnection);
    initializeOpenGLFunctions();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    createTextures();
    createVertices();
    buildNv12Program();
    buildPlanarProgram();
}

void OpenGLWidget::createTextures() {
    for (auto& texture : textures_) {
        texture = std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D);
        texture->create();
        texture->bind();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        texture->release();
    }
}

void OpenGLWidget::createVertices() {
    vao_.create();
    QOpenGLVertexArrayObject::Binder binder(&vao_);
    vbo_.create();
    vbo_.bind();
    vbo_.allocate(kVertices, sizeof(kVertices));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kVertexStride,
                          reinterpret_cast<const void*>(2 * sizeof(float)));
    vbo_.release();
}

// Contexts without vertex array objects keep the attributes in the context
// itself, so they are described again before every draw.
void OpenGLWidget::bindVertices() {
    if (vao_.isCreated()) {
        vao_.bind();
        return;
    }
    vbo_.bind();
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kVertexStride,
                          reinterpret_cast<const void*>(2 * sizeof(float)));
    vbo_.release();
}

bool OpenGLWidget::buildProgram(QOpenGLShaderProgram& program, const char* fragment,
                                const char* name) {
    const bool built = program.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) &&
                       program.addShaderFromSourceCode(QOpenGLShader::Fragment, fragment) &&
                       [&program] {
                           program.bindAttributeLocation("vertexIn", 0);
                           program.bindAttributeLocation("textureIn", 1);
                           return program.link();
                       }();
    // One line per widget: a context that cannot build the programs fails the
    // same way every time it is made again.
    if (!built && !shaderFailureLogged_) {
        shaderFailureLogged_ = true;
        BG_LOGE(
            "the %s video shader cannot be built on this OpenGL (%s), so the video stays "
            "black; turn hardware rendering off in the settings. %s",
            name, reinterpret_cast<const char*>(glGetString(GL_VERSION)),
            program.log().simplified().toUtf8().constData());
    }
    return built;
}

void OpenGLWidget::buildNv12Program() {
    nv12_ = Nv12Program();
    nv12_.program = std::make_unique<QOpenGLShaderProgram>();
    QOpenGLShaderProgram& program = *nv12_.program;
    if (!buildProgram(program, kNv12FragmentShader, "NV12"))
        return;
    program.bind();
    nv12_.model = program.uniformLocation("model");
    nv12_.view = program.uniformLocation("view");
    nv12_.projection = program.uniformLocation("projection");
    nv12_.texY = program.uniformLocation("tex_y");
    nv12_.texUV = program.uniformLocation("tex_uv");
    nv12_.strideScaleY = program.uniformLocation("strideScaleY");
    nv12_.strideScaleUV = program.uniformLocation("strideScaleUV");
    program.release();
}

void OpenGLWidget::buildPlanarProgram() {
    planar_ = PlanarProgram();
    planar_.program = std::make_unique<QOpenGLShaderProgram>();
    QOpenGLShaderProgram& program = *planar_.program;
    if (!buildProgram(program, kPlanarFragmentShader, "YUV420P"))
        return;
    program.bind();
    planar_.model = program.uniformLocation("model");
    planar_.view = program.uniformLocation("view");
    planar_.projection = program.uniformLocation("projection");
    planar_.texY = program.uniformLocation("tex_y");
    planar_.texU = program.uniformLocation("tex_u");
    planar_.texV = program.uniformLocation("tex_v");
    planar_.strideScaleY = program.uniformLocation("strideScaleY");
    planar_.strideScaleU = program.uniformLocation("strideScaleU");
    planar_.strideScaleV = program.uniformLocation("strideScaleV");
    program.release();
}

void OpenGLWidget::resizeGL(int w, int h) {
    projection_.setToIdentity();
    projection_.ortho(-w, w, -h, h, 0.1f, 100.0f);
}

void OpenGLWidget::paintGL() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    QMutexLocker lock(&mutex_);
    if (frame_.empty() || frame_.width() <= 0 || frame_.height() <= 0)
        return;
    switch (frame_.format()) {
        case AV_PIX_FMT_YUV420P:
        case AV_PIX_FMT_YUVJ420P:
            drawPlanar();
            break;
        case AV_PIX_FMT_NV12:
            drawNv12();
            break;
        default:
            break;
    }
}

void OpenGLWidget::setMatrices(QOpenGLShaderProgram& program, int model, int view, int projection) {
    const QSizeF drawn =
        VideoPicture::DrawnSize(QSizeF(frame_.width(), frame_.height()), QSizeF(width(), height()),
                                VideoPicture::ScaleShow());
    QMatrix4x4 modelMatrix;
    modelMatrix.scale(static_cast<float>(drawn.width()), static_cast<float>(drawn.height()), 1.0f);
    QMatrix4x4 viewMatrix;
    viewMatrix.translate(0.0f, 0.0f, -6.0f);
    program.setUniformValue(model, modelMatrix);
    program.setUniformValue(view, viewMatrix);
    program.setUniformValue(projection, projection_);
}

void OpenGLWidget::uploadPlane(int unit, int plane, unsigned int format, int width, int height) {
    glActiveTexture(GL_TEXTURE0 + unit);
    textures_[unit]->bind();
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format,
                 GL_UNSIGNED_BYTE, frame_.data(plane));
}

void OpenGLWidget::drawNv12() {
    if (!nv12_.program || !nv12_.program->isLinked() || !VideoPicture::HasPlanes(frame_, 2))
        return;
    const int w = frame_.width();
    const int h = frame_.height();
    bindVertices();
    nv12_.program->bind();
    setMatrices(*nv12_.program, nv12_.model, nv12_.view, nv12_.projection);
    // Rows are exactly one line size long, whatever its alignment: the default
    // of 4 would read past the last row of an odd line size.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    uploadPlane(0, 0, GL_RED, frame_.linesize(0), h);
    uploadPlane(1, 1, GL_RG, frame_.linesize(1) / 2, h / 2);
    nv12_.program->setUniformValue(nv12_.texY, 0);
    nv12_.program->setUniformValue(nv12_.texUV, 1);
    nv12_.program->setUniformValue(nv12_.strideScaleY, StrideScale(w, frame_.linesize(0)));
    nv12_.program->setUniformValue(nv12_.strideScaleUV, StrideScale(w, frame_.linesize(1)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    nv12_.program->release();
    if (vao_.isCreated())
        vao_.release();
    glActiveTexture(GL_TEXTURE0);
}

void OpenGLWidget::drawPlanar() {
    if (!planar_.program || !planar_.program->isLinked() || !VideoPicture::HasPlanes(frame_, 3))
        return;
    const int w = frame_.width();
    const int h = frame_.height();
    bindVertices();
    planar_.program->bind();
    setMatrices(*planar_.program, planar_.model, planar_.view, planar_.projection);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    uploadPlane(0, 0, GL_RED, frame_.linesize(0), h);
    uploadPlane(1, 1, GL_RED, frame_.linesize(1), h / 2);
    uploadPlane(2, 2, GL_RED, frame_.linesize(2), h / 2);
    planar_.program->setUniformValue(planar_.texY, 0);
    planar_.program->setUniformValue(planar_.texU, 1);
    planar_.program->setUniformValue(planar_.texV, 2);
    const float halfWidth = w * 0.5f;
    planar_.program->setUniformValue(planar_.strideScaleY, StrideScale(w, frame_.linesize(0)));
    planar_.program->setUniformValue(planar_.strideScaleU,
                                     StrideScale(halfWidth, frame_.linesize(1)));
    planar_.program->setUniformValue(planar_.strideScaleV,
                                     StrideScale(halfWidth, frame_.linesize(2)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    planar_.program->release();
    if (vao_.isCreated())
        vao_.release();
    glActiveTexture(GL_TEXTURE0);
}

void OpenGLWidget::cleanup() {
    if (!nv12_.program)
        return;
    makeCurrent();
    vbo_.destroy();
    vao_.destroy();
    for (auto& texture : textures_) {
        if (texture)
            texture->destroy();
        texture.reset();
    }
    nv12_ = Nv12Program();
    planar_ = PlanarProgram();
    doneCurrent();
}
