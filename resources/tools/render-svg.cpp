// Renders one SVG picture of the resource tree to PNG at the size the SVG
// declares. Used by the build only.
//
//   zucam-render-svg <in.svg> <out.png> [--level N] [FROM=TO ...]
//
// FROM=TO replaces every occurrence of the text FROM (a colour such as
// #666666) by TO before rendering, so one drawing yields the normal, hover,
// pressed and disabled pictures of a button. --level N recolours the bars of
// a level meter: each line holding class="bar-K" with K <= N has its
// #D8D8D8 replaced by #6BA7FF.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>
#include <QSvgRenderer>
#include <cstdio>

namespace {

QString ApplyLevel(const QString& svg, int level) {
    static const QRegularExpression bar(QStringLiteral("class=\"bar-(\\d+)\""));
    QStringList lines = svg.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        const QRegularExpressionMatch match = bar.match(line);
        if (match.hasMatch() && match.captured(1).toInt() <= level)
            line.replace(QStringLiteral("#D8D8D8"), QStringLiteral("#6BA7FF"));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr,
                     "usage: zucam-render-svg <in.svg> <out.png> [--level N] [FROM=TO ...]\n");
        return 2;
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qUtf8Printable(args[1]));
        return 1;
    }
    QString svg = QString::fromUtf8(in.readAll());
    for (int i = 3; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--level") && i + 1 < args.size()) {
            svg = ApplyLevel(svg, args[++i].toInt());
            continue;
        }
        const int eq = args[i].indexOf(QLatin1Char('='));
        if (eq <= 0) {
            std::fprintf(stderr, "bad replacement %s\n", qUtf8Printable(args[i]));
            return 2;
        }
        svg.replace(args[i].left(eq), args[i].mid(eq + 1));
    }
    QSvgRenderer renderer(svg.toUtf8());
    if (!renderer.isValid()) {
        std::fprintf(stderr, "invalid SVG %s\n", qUtf8Printable(args[1]));
        return 1;
    }
    QImage image(renderer.defaultSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!image.save(args[2], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(args[2]));
        return 1;
    }
    return 0;
}
