#pragma once

#include <QObject>
#include <QString>

class QWidget;

// Loads a stylesheet resource into its parent widget and enlarges the sheet's
// pixel sizes on screens denser than 96 dpi, so windows drawn in pixels keep
// their proportions.
class QssManager : public QObject {
    Q_OBJECT

public:
    // A child of `widget`. With `scaleLayouts` the widget's layouts are
    // scaled at once (ZuCam's own windows pass false).
    QssManager(QWidget* widget, bool scaleLayouts);

    // Nothing happens when the file cannot be opened.
    void SetStyleSheetFile(const QString& path);

    // Every "<digits>px;" multiplied by ScaleFactor(); see the overload.
    static QString ScaleStyleSheet(const QString& text);
    // Every integer written straight before "px;" multiplied by `factor`,
    // written with 6 significant digits ("9px;" at 1.5 is "13.5px;"); other
    // pixel values ("1px solid") stay. A factor of 1 or less changes nothing.
    static QString ScaleStyleSheet(const QString& text, double factor);

    // Contents margins and spacing of the widget's layouts (and their child
    // layouts), then of every child widget, multiplied by ScaleFactor().
    static void ScaleLayouts(QWidget* widget);

    // Logical dots per inch of the primary screen / 96.
    static double ScaleFactor();
};
