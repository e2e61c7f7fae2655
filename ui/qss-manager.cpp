#include "ui/qss-manager.h"

#include <QFile>
#include <QGuiApplication>
#include <QLayout>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include "ui/ui-setup.h"

namespace {

int Scaled(int value, double factor) {
    return static_cast<int>(value * factor);
}

void ScaleLayout(QLayout* layout, double factor) {
    const QMargins m = layout->contentsMargins();
    layout->setContentsMargins(Scaled(m.left(), factor), Scaled(m.top(), factor),
                               Scaled(m.right(), factor), Scaled(m.bottom(), factor));
    layout->setSpacing(Scaled(layout->spacing(), factor));
    for (QObject* child : layout->children()) {
        if (auto* inner = qobject_cast<QLayout*>(child))
            ScaleLayout(inner, factor);
    }
}

}  // namespace

QssManager::QssManager(QWidget* widget, bool scaleLayouts) : QObject(widget) {
    SetUpUiResources();
    if (scaleLayouts && widget)
        ScaleLayouts(widget);
}

void QssManager::SetStyleSheetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.readAll());
    if (auto* widget = qobject_cast<QWidget*>(parent()))
        widget->setStyleSheet(ScaleStyleSheet(text));
}

QString QssManager::ScaleStyleSheet(const QString& text) {
    return ScaleStyleSheet(text, ScaleFactor());
}

QString QssManager::ScaleStyleSheet(const QString& text, double factor) {
    if (factor <= 1.0)
        return text;
    static const QRegularExpression pixels(QStringLiteral("(\\d+)px;"));
    QString result = text;
    int from = 0;
    for (;;) {
        const QRegularExpressionMatch match = pixels.match(result, from);
        if (!match.hasMatch())
            break;
        const double scaled = match.captured(1).toDouble() * factor;
        const QString replacement = QString::number(scaled, 'g', 6) + QStringLiteral("px;");
        result.replace(match.capturedStart(), match.capturedLength(), replacement);
        from = match.capturedStart() + replacement.size();
    }
    return result;
}

void QssManager::ScaleLayouts(QWidget* widget) {
    const double factor = ScaleFactor();
    if (QLayout* layout = widget->layout())
        ScaleLayout(layout, factor);
    for (QObject* child : widget->children()) {
        if (auto* inner = qobject_cast<QWidget*>(child))
            ScaleLayouts(inner);
    }
}

double QssManager::ScaleFactor() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
}
