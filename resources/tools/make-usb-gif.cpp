// Draws the animation of the USB help dialog, a phone on which USB debugging
// is turned on step by step, and encodes it as a looping GIF with
// libavcodec's GIF encoder. Used by the build only.
//
//   zucam-make-usb-gif <out.gif>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTranslator>
#include <QVector>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 420;
const QColor kAccent(0x6B, 0xA7, 0xFF);
const QColor kInk(0x33, 0x33, 0x33);
const QColor kSoft(0x99, 0x99, 0x99);
const QColor kLine(0xE6, 0xE6, 0xE6);
const QColor kBody(0x2B, 0x2B, 0x2B);
// White like the dialog that shows the film.
const QColor kPage(0xFF, 0xFF, 0xFF);
const QRect kScreen(22, 40, 196, 344);

// One picture of the film: a page title, its rows, what is touched.
struct Scene {
    QString title;
    QStringList rows;
    int tapped = -1;     // row under the finger, -1 none
    QString toast;       // message over the bottom of the page
    int toggleRow = -1;  // row that carries a switch
    bool toggleOn = false;
    int centiseconds = 80;
};

QFont Font(int pixels, bool bold = false) {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void DrawPhone(QPainter& p) {
    p.fillRect(0, 0, kWidth, kHeight, kPage);
    p.setPen(Qt::NoPen);
    p.setBrush(kBody);
    p.drawRoundedRect(QRectF(12, 10, kWidth - 24, kHeight - 20), 22, 22);
    p.setBrush(Qt::white);
    p.drawRect(kScreen);
    p.setBrush(QColor(0x55, 0x55, 0x55));
    p.drawRoundedRect(QRectF(kWidth / 2 - 24, 22, 48, 6), 3, 3);
}

void DrawSwitch(QPainter& p, const QRect& row, bool on) {
    const QRectF track(row.right() - 44, row.center().y() - 9, 34, 18);
    p.setPen(Qt::NoPen);
    p.setBrush(on ? kAccent : QColor(0xCC, 0xCC, 0xCC));
    p.drawRoundedRect(track, 9, 9);
    p.setBrush(Qt::white);
    const qreal x = on ? track.right() - 16 : track.left() + 2;
    p.drawEllipse(QRectF(x, track.top() + 2, 14, 14));
}

QImage DrawScene(const Scene& scene) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    DrawPhone(p);
    const QRect bar(kScreen.left(), kScreen.top(), kScreen.width(), 40);
    p.fillRect(bar, kAccent);
    p.setPen(Qt::white);
    p.setFont(Font(15, true));
    p.drawText(bar, Qt::AlignCenter, scene.title);
    p.setFont(Font(13));
    for (int i = 0; i < scene.rows.size(); ++i) {
        const QRect row(kScreen.left(), bar.bottom() + 1 + i * 40, kScreen.width(), 40);
        if (i == scene.tapped)
            p.fillRect(row, QColor(0xDD, 0xE9, 0xFF));
        p.setPen(kInk);
        p.drawText(row.adjusted(14, 0, -14, 0), Qt::AlignVCenter | Qt::AlignLeft, scene.rows[i]);
        if (i == scene.toggleRow) {
            DrawSwitch(p, row, scene.toggleOn);
        } else {
            p.setPen(kSoft);
            p.drawText(row.adjusted(14, 0, -14, 0), Qt::AlignVCenter | Qt::AlignRight,
                       QStringLiteral(">"));
        }
        p.setPen(kLine);
        p.drawLine(row.left() + 14, row.bottom(), row.right() - 14, row.bottom());
        if (i == scene.tapped) {
            // The finger's touch: a ring on the row.
            p.setPen(QPen(kAccent, 3));
            p.setBrush(QColor(0x6B, 0xA7, 0xFF, 90));
            p.drawEllipse(QPointF(row.center().x() + 30, row.center().y()), 14, 14);
        }
    }
    if (!scene.toast.isEmpty()) {
        p.setFont(Font(11));
        const QRect toast(kScreen.left() + 14, kScreen.bottom() - 52, kScreen.width() - 28, 32);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x44, 0x44, 0x44));
        p.drawRoundedRect(toast, 16, 16);
        p.setPen(Qt::white);
        p.drawText(toast, Qt::AlignCenter, scene.toast);
    }
    return image;
}

QVector<Scene> Film() {
    const QString settings = QCoreApplication::translate("UsbHelpFilm", "设置");
    const QStringList settingsRows = {QString::fromUtf8("WLAN"),
                                      QCoreApplication::translate("UsbHelpFilm", "蓝牙"),
                                      QCoreApplication::translate("UsbHelpFilm", "显示和亮度"),
                                      QCoreApplication::translate("UsbHelpFilm", "系统和更新"),
                                      QCoreApplication::translate("UsbHelpFilm", "关于手机")};
    const QString about = QCoreApplication::translate("UsbHelpFilm", "关于手机");
    const QStringList aboutRows = {QCoreApplication::translate("UsbHelpFilm", "设备名称"),
                                   QCoreApplication::translate("UsbHelpFilm", "型号"),
                                   QCoreApplication::translate("UsbHelpFilm", "处理器"),
                                   QCoreApplication::translate("UsbHelpFilm", "版本号")};
    const QString system = QCoreApplication::translate("UsbHelpFilm", "系统和更新");
    const QStringList systemRows = {QCoreApplication::translate("UsbHelpFilm", "软件更新"),
                                    QCoreApplication::translate("UsbHelpFilm", "日期和时间"),
                                    QCoreApplication::translate("UsbHelpFilm", "开发人员选项"),
                                    QCoreApplication::translate("UsbHelpFilm", "重置")};
    const QString developer = QCoreApplication::translate("UsbHelpFilm", "开发人员选项");
    const QStringList developerRows = {QCoreApplication::translate("UsbHelpFilm", "开发人员选项"),
                                       QCoreApplication::translate("UsbHelpFilm", "USB调试"),
                                       QCoreApplication::translate("UsbHelpFilm", "选择调试应用")};

    QVector<Scene> film;
    film.append({settings, settingsRows, -1, {}, -1, false, 100});
    film.append({settings, settingsRows, 4, {}, -1, false, 60});
    film.append({about, aboutRows, -1, {}, -1, false, 80});
    for (int tap = 1; tap <= 5; ++tap) {
        const QString toast =
            tap < 5 ? QCoreApplication::translate("UsbHelpFilm", "再点击%1次进入开发者模式")
                          .arg(5 - tap)
                    : QCoreApplication::translate("UsbHelpFilm", "您已处于开发者模式");
        film.append({about, aboutRows, 3, toast, -1, false, 35});
        film.append({about, aboutRows, -1, toast, -1, false, tap < 5 ? 20 : 120});
    }
    film.append({settings, settingsRows, 3, {}, -1, false, 80});
    film.append({system, systemRows, -1, {}, -1, false, 80});
    film.append({system, systemRows, 2, {}, -1, false, 60});
    film.append({developer, developerRows, -1, {}, 1, false, 100});
    film.append({developer, developerRows, 1, {}, 1, false, 50});
    film.append({developer, developerRows, -1,
                 QCoreApplication::translate("UsbHelpFilm", "USB调试已开启"), 1, true, 250});
    return film;
}

// A fixed palette of the film's flat colours, each with its blends towards
// white, so anti-aliased edges stay smooth in 256 colours.
QVector<QRgb> Palette() {
    const QVector<QColor> keys = {
        kAccent, kInk, kSoft, kBody, QColor(0x44, 0x44, 0x44), QColor(0xCC, 0xCC, 0xCC)};
    QVector<QRgb> table;
    table.append(qRgb(255, 255, 255));
    table.append(kPage.rgb());
    table.append(QColor(0xDD, 0xE9, 0xFF).rgb());
    table.append(kLine.rgb());
    const int steps = (256 - table.size()) / keys.size();
    for (const QColor& key : keys) {
        for (int i = 0; i < steps; ++i) {
            const double t = double(i + 1) / steps;
            table.append(qRgb(int(255 + (key.red() - 255) * t), int(255 + (key.green() - 255) * t),
                              int(255 + (key.blue() - 255) * t)));
        }
    }
    while (table.size() < 256)
        table.append(qRgb(0, 0, 0));
    return table;
}

bool Encode(AVFormatContext* out, AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    if (avcodec_send_frame(codec, frame) < 0)
        return false;
    AVPacket* packet = av_packet_alloc();
    bool ok = true;
    for (;;) {
        const int ret = avcodec_receive_packet(codec, packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0) {
            ok = false;
            break;
        }
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(out, packet) < 0) {
            ok = false;
            break;
        }
    }
    av_packet_free(&packet);
    return ok;
}

bool WriteGif(const char* path, const QVector<Scene>& film) {
    const AVCodec* gif = avcodec_find_encoder(AV_CODEC_ID_GIF);
    AVFormatContext* out = nullptr;
    if (!gif || avformat_alloc_output_context2(&out, nullptr, "gif", path) < 0)
        return false;
    AVCodecContext* codec = avcodec_alloc_context3(gif);
    codec->width = kWidth;
    codec->height = kHeight;
    codec->pix_fmt = AV_PIX_FMT_PAL8;
    codec->time_base = AVRational{1, 100};
    AVStream* stream = avformat_new_stream(out, nullptr);
    bool ok = stream && avcodec_open2(codec, gif, nullptr) >= 0 &&
              avcodec_parameters_from_context(stream->codecpar, codec) >= 0;
    if (ok) {
        stream->time_base = codec->time_base;
        ok = avio_open(&out->pb, path, AVIO_FLAG_WRITE) >= 0 &&
             avformat_write_header(out, nullptr) >= 0;
    }
    const QVector<QRgb> palette = Palette();
    int64_t pts = 0;
    for (const Scene& scene : film) {
        if (!ok)
            break;
        const QImage picture = DrawScene(scene).convertToFormat(
            QImage::Format_Indexed8, palette, Qt::ThresholdDither | Qt::AvoidDither);
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_PAL8;
        frame->width = kWidth;
        frame->height = kHeight;
        ok = av_frame_get_buffer(frame, 0) >= 0;
        if (ok) {
            for (int y = 0; y < kHeight; ++y)
                std::memcpy(frame->data[0] + y * frame->linesize[0], picture.constScanLine(y),
                            kWidth);
            auto* colours = reinterpret_cast<uint32_t*>(frame->data[1]);
            for (int i = 0; i < 256; ++i)
                colours[i] = i < picture.colorCount() ? picture.color(i) : 0xFF000000u;
            frame->pts = pts;
            frame->pkt_duration = scene.centiseconds;
            pts += scene.centiseconds;
            ok = Encode(out, codec, stream, frame);
        }
        av_frame_free(&frame);
    }
    if (ok)
        ok = Encode(out, codec, stream, nullptr) && av_write_trailer(out) >= 0;
    avcodec_free_context(&codec);
    if (out->pb)
        avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: zucam-make-usb-gif <out.gif> [<translation.qm>]\n");
        return 2;
    }
    // The film of another language: the phone's menus read in that language.
    QTranslator translator;
    if (argc == 3) {
        if (!translator.load(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "cannot read the translation %s\n", argv[2]);
            return 1;
        }
        QCoreApplication::installTranslator(&translator);
    }
    if (!WriteGif(argv[1], Film())) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
