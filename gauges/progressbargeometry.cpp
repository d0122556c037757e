#include <gauges/progressbargeometry.h>

#include <QLatin1Char>
#include <QPointF>
#include <cmath>

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
    // Widths in 64 bits and doubles: space and step may be anything an int holds, and
    // 3 * space or INT_MIN / -1 would overflow an int.
    const qint64 s = in.space;
    const qint64 w = in.width;
    const qint64 h = in.height;
    g.textWidth = in.textAdvance + LabelPadding;
    const qint64 tw = g.textWidth;
    const qint64 trackWidth = w - 3 * s - tw;
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
        const qint64 count = trackWidth / in.step;
        // More lines than the widget has pixel columns would show nothing but a smear, and
        // an absurd space could ask for billions of them.
        if (count >= 1 && count <= w) {
            const double increment = double(trackWidth) / count;
            // Each line sits at its exact place; the next one starts from the truncated x.
            double x = centred ? 10 : 5;
            for (qint64 i = 0; i < count; ++i) {
                const double xf = x + increment;
                g.separatorXs.append(xf);
                x = std::trunc(xf);
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
