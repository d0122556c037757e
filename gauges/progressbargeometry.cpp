#include "progressbargeometry.h"

#include <QLatin1Char>
#include <QPointF>

namespace {

// Room the label needs beyond the advance of the widest text.
constexpr int LabelPadding = 10;

// A negative precision has no sensible meaning in a label: show whole numbers.
int shownDecimals(int precision)
{
    return precision < 0 ? 0 : precision;
}

QString formatFixed(const QString &pattern, double number, int precision)
{
    return pattern.arg(number, 0, 'f', shownDecimals(precision), QLatin1Char(' '));
}

} // namespace

ProgressBarGeometry ProgressBarGeometry::compute(const Input &in)
{
    ProgressBarGeometry g;
    const int s = in.space;
    const int w = in.width;
    const int h = in.height;
    g.textWidth = in.textAdvance + LabelPadding;
    const int tw = g.textWidth;
    const int trackWidth = w - 3 * s - tw;
    const double span = in.maxValue - in.minValue;
    const bool centred = in.layout == ProgressBarLayout::CentredValue;

    g.track = QRectF(s, s, trackWidth, h - 2 * s);

    if (centred) {
        // The monitor's bar ignores the label's room and runs 12 px short of both edges.
        const double length = (in.value - in.minValue) * (w - 24) / span;
        g.bar = QRectF(12, s, length, h - 2 * s);
        g.labelBox = QRectF(QPointF(w / 2 - 20, s), QPointF(w / 2 + tw, h - s));
    } else {
        const double length = (in.value - in.minValue) * trackWidth / span;
        g.bar = QRectF(s, s, length, h - 2 * s);
        g.labelBox = QRectF(QPointF(w - s - tw, s), QPointF(w - s, h - s));
    }

    if (in.step != 0) {
        const int count = trackWidth / in.step;
        if (count >= 1) {
            const double increment = double(trackWidth) / count;
            // Each line sits at its exact place; the next one starts from the truncated x.
            int x = centred ? 10 : 5;
            for (int i = 0; i < count; ++i) {
                const double xf = x + increment;
                g.separatorXs.append(xf);
                x = int(xf);
            }
        }
    }
    return g;
}

QString ProgressBarGeometry::labelText(ProgressBarLayout layout, double value, double minValue,
                                       double maxValue, int precision)
{
    if (layout == ProgressBarLayout::CentredValue)
        return formatFixed(QStringLiteral("%1"), value, precision);
    const double percent = (value - minValue) * 100 / (maxValue - minValue);
    return formatFixed(QStringLiteral("%1%"), percent, precision);
}

QString ProgressBarGeometry::widthText(ProgressBarLayout layout, double maxValue, int precision)
{
    if (layout == ProgressBarLayout::CentredValue)
        return formatFixed(QStringLiteral("%1"), maxValue, precision);
    return formatFixed(QStringLiteral("%1%"), maxValue, precision);
}

int ProgressBarGeometry::fontPixelSize(ProgressBarLayout layout, int width)
{
    const int divisor = layout == ProgressBarLayout::CentredValue ? 15 : 10;
    return int((width / divisor) * 0.35);
}
