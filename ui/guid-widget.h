#pragma once

#include <QColor>
#include <QPainterPath>
#include <QString>
#include <QWidget>
#include <memory>

namespace Ui {
class GuidWidget;
}

// The first-use guide: a bubble with an arrow pointing at the help button.
class GuidWidget : public QWidget {
    Q_OBJECT

public:
    // Arrow sides.
    enum ArrowSide { kArrowLeft = 1, kArrowTop = 2, kArrowRight = 3, kArrowBottom = 4 };

    // `parent` is the main window; the bubble is a tool window above it.
    explicit GuidWidget(QWidget* parent = nullptr);
    ~GuidWidget() override;

    // An invalid colour means black.
    void SetTip(const QString& text, const QColor& color = QColor());

    // Points the arrow at `x` (in the bubble's coordinates), kept on the
    // bubble's body.
    void PointArrowAt(int x);
    double arrowRatio() const { return arrowRatio_; }

signals:
    void sig_firstClose();

private slots:
    void on_pushButton_ftip_close_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    // The window takes the bubble's shape: without a compositor a translucent
    // background would show black around it.
    void resizeEvent(QResizeEvent* event) override;

private:
    QPainterPath Shape() const;

    std::unique_ptr<Ui::GuidWidget> ui;
    QColor bubbleColor_{165, 197, 243};
    int arrowSide_ = kArrowBottom;
    double arrowRatio_ = 0.5;
};
