#pragma once

#include <QRectF>
#include <QString>
#include <QVector>

// The two ways the colour progress bar lays out its label: the updater's
// percentage at the right end, or the monitor's value centred on the bar.
enum class ProgressBarLayout
{
    Percentage,
    CentredValue
};

// Where each part of the colour progress bar goes for a widget of a given size.
// Kept free of QWidget so that the numbers can be checked without painting.
class ProgressBarGeometry
{
public:
    struct Input
    {
        ProgressBarLayout layout = ProgressBarLayout::Percentage;
        int width = 0;
        int height = 0;
        int space = 0;
        int step = 0;
        int textAdvance = 0; // horizontal advance of widthText() in the painting font
        double minValue = 0.0;
        double maxValue = 100.0;
        double value = 0.0;
    };

    int textWidth = 0; // room reserved for the label: the advance plus padding
    QRectF track;
    QRectF bar;
    QRectF labelBox;
    QVector<double> separatorXs;

    static ProgressBarGeometry compute(const Input &in);

    // The text shown in the label box.
    static QString labelText(ProgressBarLayout layout, double value, double minValue,
                             double maxValue, int precision);
    // The widest label the range can produce; it reserves room for the label.
    static QString widthText(ProgressBarLayout layout, double maxValue, int precision);
    // Pixel size of the painting font for a widget width; below 1 means "keep the font's size".
    static int fontPixelSize(ProgressBarLayout layout, int width);
};
