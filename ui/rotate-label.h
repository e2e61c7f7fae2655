#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QTimer>

// A label that turns its picture about the centre on a timer: the waiting
// spinner. Every spinner shares one angle, so a page shown again continues
// the turn where it stopped.
class RotateLabel : public QLabel {
    Q_OBJECT

public:
    // Degrees added per tick: with 100 ms ticks one turn takes 4.8 s.
    static constexpr double kStepDegrees = 7.5;

    explicit RotateLabel(QWidget* parent = nullptr);

    // Loads the picture scaled to the label's current size; a missing file
    // keeps the previous one.
    void setImage(const QString& path);
    void setInterval(int ms);
    void start();
    void stop();
    bool isRunning() const { return timer_.isActive(); }

    // The angle the next tick draws at.
    static double angle();

private slots:
    void Tick();

private:
    QPixmap image_;
    QTimer timer_;
    int interval_ = 100;
};
