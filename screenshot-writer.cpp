#include "screenshot-writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QString>
#include <QThreadPool>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "dep/QtComponent/ffmpeg/frame-scaler.h"
#include "output-path.h"
#include "platform/files.h"

bool ScreenshotWriter::Start(const FrameHolder& picture, const std::string& saveDir, Done done,
                             std::string* failureMessage) {
    if (!picture) {
        if (failureMessage)
            *failureMessage = output_path::kMsgNoPicture;
        return false;
    }
    const std::string path = output_path::Compose(saveDir, output_path::kShotName);
    if (!output_path::Check(saveDir, path, failureMessage))
        return false;
    FrameHolder ref(picture);
    QThreadPool::globalInstance()->start([ref, path, done] {
        std::string written = WritePng(ref, path);
        if (done)
            done(written);
    });
    return true;
}

std::string ScreenshotWriter::WritePng(const FrameHolder& picture, const std::string& path) {
    FrameScaler scaler(AV_PIX_FMT_RGBA);
    FrameHolder rgba = scaler.convert(picture);
    if (!rgba)
        return std::string();
    QImage image(rgba.width(), rgba.height(), QImage::Format_RGBA8888);
    if (image.isNull())
        return std::string();
    const int rowBytes = std::min(rgba.linesize(0), static_cast<int>(image.bytesPerLine()));
    for (int y = 0; y < rgba.height(); ++y) {
        std::memcpy(image.scanLine(y), rgba.data(0) + static_cast<ptrdiff_t>(y) * rgba.linesize(0),
                    static_cast<size_t>(rowBytes));
    }
    // Encoded in memory and written to a fresh file: the save folder may be
    // shared, and a link planted under the name must not take the picture
    // (or the truncation) somewhere else.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray format = QFileInfo(QString::fromStdString(path)).suffix().toLatin1();
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        return std::string();
    if (!platform::WriteFreshFile(
            path, std::string(encoded.constData(), static_cast<size_t>(encoded.size())))) {
        return std::string();
    }
    return path;
}
