#include "ui/guid-widget.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <algorithm>

#include "ui/dialog-frame.h"
#include "ui/ui-setup.h"
#include "ui_guid-widget.h"

GuidWidget::GuidWidget(QWidget* parent) : QWidget(parent), ui(new Ui::GuidWidget) {
    SetUpUiResources();
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    const double s = DialogFrame::AppScaleFactor();
    setFixedSize(static_cast<int>(280 * s), static_cast<int>(100 * s));
    SetTip(tr("不知道怎么用，看这里哦！"));
    setContentsMargins(25, 25, 25, 25);
    ui->label_ftip_text->setStyleSheet(QStringLiteral(
        "QLabel {font-family:\"Microsoft YaHei\"; font-size: 9pt; color: #FFFFFF;}"));
    ui->pushButton_ftip_close->setText(tr("关闭提示"));
    ui->pushButton_ftip_close->setStyleSheet(QStringLiteral(
        "QPushButton {border: none;background-color: transparent;font-family:\"Microsoft YaHei\";"
        "font-size: 9pt;color: #ec372c;}QPushButton:hover {color: #FF0000;}QPushButton:pressed "
        "{color: "
        "#C00000;}"));
}

GuidWidget::~GuidWidget() = default;

void GuidWidget::SetTip(const QString& text, const QColor& color) {
    ui->label_ftip_text->setText(text);
    ui->label_ftip_text->setStyleSheet(QStringLiteral("color: rgb(%1, %2, %3)")
                                           .arg(color.red())
                                           .arg(color.green())
                                           .arg(color.blue()));
}

void GuidWidget::on_pushButton_ftip_close_clicked() {
    emit sig_firstClose();
}

void GuidWidget::PointArrowAt(int x) {
    const double w = width();
    if (w <= 60)
        return;
    arrowRatio_ = std::min(std::max(x / w, 30 / w), (w - 30) / w);
    setMask(QRegion(Shape().toFillPolygon().toPolygon()));
    update();
}

QPainterPath GuidWidget::Shape() const {
    QPainterPath path;
    const QRectF body(20, 20, width() - 40, height() - 40);
    // drawRoundRect's roundness 4 is a percentage of each half side.
    path.addRoundedRect(body, 4, 4, Qt::RelativeSize);
    const double w = width();
    const double h = height();
    const double r = arrowRatio_;
    QPolygonF arrow;
    switch (arrowSide_) {
        case kArrowLeft:
            arrow << QPointF(20, r * h - 10) << QPointF(10, r * h) << QPointF(20, r * h + 10);
            break;
        case kArrowTop:
            arrow << QPointF(r * w - 10, 20) << QPointF(r * w, 10) << QPointF(r * w + 10, 20);
            break;
        case kArrowRight:
            arrow << QPointF(w - 20, r * h - 10) << QPointF(w - 10, r * h)
                  << QPointF(w - 20, r * h + 10);
            break;
        default:
            arrow << QPointF(r * w - 10, h - 20) << QPointF(r * w, h - 10)
                  << QPointF(r * w + 10, h - 20);
            break;
    }
    path.addPolygon(arrow);
    path.closeSubpath();
    return path.simplified();
}

void GuidWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(bubbleColor_);
    painter.drawPath(Shape());
}

void GuidWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setMask(QRegion(Shape().toFillPolygon().toPolygon()));
}
