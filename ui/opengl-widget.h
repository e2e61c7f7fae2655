#pragma once

#include <QMatrix4x4>
#include <QMutex>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>

#include <atomic>
#include <memory>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

class QOpenGLShaderProgram;
class QOpenGLTexture;

// The hardware renderer: uploads the decoded planes unchanged (full line sizes)
// as textures and converts YUV to RGB in a fragment shader. Pictures come from
// any thread through setFrame; the widget repaints from its own timer on the
// GUI thread, at most once per tick, showing the newest picture.
class OpenGLWidget : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT

public:
    explicit OpenGLWidget(QWidget* parent = nullptr);
    ~OpenGLWidget() override;

    // Makes `frame` the current picture (an empty holder empties it). Any thread.
    bool setFrame(const FrameHolder& frame);
    // Repaint ticks per second: the timer restarts with 1000 / rate ms.
    void setFrameRate(int rate);

    // A picture arrived since the last tick that repainted.
    bool dirty() const { return dirty_.load(); }
    int repaintTimerId() const { return timerId_; }

public slots:
    void cleanup();

protected:
    void timerEvent(QTimerEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    struct Nv12Program {
        std::unique_ptr<QOpenGLShaderProgram> program;
        int model = -1, view = -1, projection = -1;
        int texY = -1, texUV = -1;
        int strideScaleY = -1, strideScaleUV = -1;
    };
    struct PlanarProgram {
        std::unique_ptr<QOpenGLShaderProgram> program;
        int model = -1, view = -1, projection = -1;
        int texY = -1, texU = -1, texV = -1;
        int strideScaleY = -1, strideScaleU = -1, strideScaleV = -1;
    };

    void createTextures();
    void createVertices();
    void bindVertices();
    bool buildProgram(QOpenGLShaderProgram& program, const char* fragment, const char* name);
    void buildNv12Program();
    void buildPlanarProgram();
    void setMatrices(QOpenGLShaderProgram& program, int model, int view, int projection);
    void drawNv12();
    void drawPlanar();
    void uploadPlane(int unit, int plane, unsigned int format, int width, int height);

    FrameHolder frame_;
    QMutex mutex_;
    int timerId_ = 0;
    std::atomic<bool> dirty_{false};
    std::unique_ptr<QOpenGLTexture> textures_[3];
    Nv12Program nv12_;
    PlanarProgram planar_;
    QOpenGLVertexArrayObject vao_;
    QOpenGLBuffer vbo_;
    QMatrix4x4 projection_;
    bool shaderFailureLogged_ = false;
};
