#include <gauges/progressbarcolor.h>

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>
#include <limits>

namespace {

// Property writes arrive as double: truncate toward zero, but keep NaN and
// values beyond int out of the conversion, which would be undefined.
bool truncateToInt(double number, int *result)
{
    if (std::isnan(number))
        return false;
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    *result = number <= lowest    ? std::numeric_limits<int>::min()
              : number >= highest ? std::numeric_limits<int>::max()
                                  : int(number);
    return true;
}

} // namespace

ProgressBarColor::ProgressBarColor(QWidget *parent) : QWidget(parent)
{
    QFont f = font();
    f.setFamily(QStringLiteral("Arial"));
    f.setPointSize(8);
    setFont(f);
}

void ProgressBarColor::useCentredValueLayout()
{
    layout = ProgressBarLayout::CentredValue;
    maxValue = 4096.0;
    minValue = 0.0;
    value = 4096.0;
    precision = 0;
    step = 0;
    space = 0;
    radius = 0;
    bgColorStart = QColor(0, 0, 0);
    bgColorEnd = QColor(0, 0, 0);
    lineColor = QColor(100, 100, 100);
    textColor = QColor(255, 255, 255);
    barBgColor = QColor(100, 100, 100, 0);
    barColor = QColor(0, 234, 255);

    QFont f = font();
    f.setFamily(QStringLiteral("Arial"));
    f.setPointSize(3);
    setFont(f);
    update();
}

QSize ProgressBarColor::sizeHint() const
{
    return QSize(300, 30);
}

QSize ProgressBarColor::minimumSizeHint() const
{
    return QSize(50, 20);
}

void ProgressBarColor::setRange(double minValue, double maxValue)
{
    // Infinite ends would turn every length into NaN.
    if (!(minValue < maxValue) || !std::isfinite(minValue) || !std::isfinite(maxValue))
        return;
    if (minValue == this->minValue && maxValue == this->maxValue)
        return;
    this->minValue = minValue;
    this->maxValue = maxValue;
    // A value left outside the new range would draw a bar beyond its track:
    // bring it to the nearer end, which also tells listeners it moved.
    if (value < minValue)
        setValue(minValue);
    else if (value > maxValue)
        setValue(maxValue);
    update();
}

void ProgressBarColor::setRange(int minValue, int maxValue)
{
    if (minValue >= maxValue)
        return;
    setRange(double(minValue), double(maxValue));
}

void ProgressBarColor::setMinValue(double minValue)
{
    setRange(minValue, maxValue);
}

void ProgressBarColor::setMaxValue(double maxValue)
{
    setRange(minValue, maxValue);
}

void ProgressBarColor::setValue(double value)
{
    if (!(value >= minValue && value <= maxValue))
        return;
    if (value == this->value)
        return;
    this->value = value;
    emit valueChanged(value);
    update();
}

void ProgressBarColor::setValue(int value)
{
    setValue(double(value));
}

void ProgressBarColor::setPrecision(int precision)
{
    if (precision > 3 || precision == this->precision)
        return;
    this->precision = precision;
    update();
}

void ProgressBarColor::setStep(int step)
{
    if (step == this->step)
        return;
    this->step = step;
    update();
}

void ProgressBarColor::setSpace(int space)
{
    if (space == this->space)
        return;
    this->space = space;
    update();
}

void ProgressBarColor::setRadius(int radius)
{
    if (radius == this->radius)
        return;
    this->radius = radius;
    update();
}

void ProgressBarColor::setBgColorStart(const QColor &bgColorStart)
{
    setColor(this->bgColorStart, bgColorStart);
}

void ProgressBarColor::setBgColorEnd(const QColor &bgColorEnd)
{
    setColor(this->bgColorEnd, bgColorEnd);
}

void ProgressBarColor::setLineColor(const QColor &lineColor)
{
    setColor(this->lineColor, lineColor);
}

void ProgressBarColor::setTextColor(const QColor &textColor)
{
    setColor(this->textColor, textColor);
}

void ProgressBarColor::setBarBgColor(const QColor &barBgColor)
{
    setColor(this->barBgColor, barBgColor);
}

void ProgressBarColor::setBarColor(const QColor &barColor)
{
    setColor(this->barColor, barColor);
}

void ProgressBarColor::writeStepProperty(double step)
{
    int whole = 0;
    if (truncateToInt(step, &whole))
        setStep(whole);
}

void ProgressBarColor::writeSpaceProperty(double space)
{
    int whole = 0;
    if (truncateToInt(space, &whole))
        setSpace(whole);
}

void ProgressBarColor::writeRadiusProperty(double radius)
{
    int whole = 0;
    if (truncateToInt(radius, &whole))
        setRadius(whole);
}

void ProgressBarColor::setColor(QColor &field, const QColor &color)
{
    if (field == color)
        return;
    field = color;
    update();
}

void ProgressBarColor::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    if (layout == ProgressBarLayout::CentredValue)
        drawBackground(&painter);
    drawBar(&painter);
}

void ProgressBarColor::drawBackground(QPainter *painter)
{
    painter->save();
    painter->setPen(Qt::NoPen);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, bgColorStart);
    gradient.setColorAt(1, bgColorEnd);
    painter->setBrush(gradient);
    painter->drawRect(QRectF(0, 0, width(), height()));
    painter->restore();
}

void ProgressBarColor::drawBar(QPainter *painter)
{
    painter->save();

    QFont f = font();
    const int pixelSize = ProgressBarGeometry::fontPixelSize(layout, width());
    if (pixelSize >= 1)
        f.setPixelSize(pixelSize);
    painter->setFont(f);

    const QString label =
        ProgressBarGeometry::labelText(layout, value, minValue, maxValue, precision);
    const QString widest = ProgressBarGeometry::widthText(layout, maxValue, precision);

    ProgressBarGeometry::Input in;
    in.layout = layout;
    in.width = width();
    in.height = height();
    in.space = space;
    in.step = step;
    in.textAdvance = painter->fontMetrics().horizontalAdvance(widest);
    in.minValue = minValue;
    in.maxValue = maxValue;
    in.value = value;
    const ProgressBarGeometry g = ProgressBarGeometry::compute(in);

    auto drawLabel = [&] {
        painter->save();
        painter->setPen(barBgColor);
        painter->setBrush(barBgColor);
        painter->drawRoundedRect(g.labelBox, radius, radius);
        painter->restore();
        painter->save();
        painter->setPen(textColor);
        painter->drawText(g.labelBox, Qt::AlignCenter, label);
        painter->restore();
    };
    auto drawFilled = [&](const QRectF &rect, const QColor &color) {
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(color);
        painter->drawRoundedRect(rect, radius, radius);
        painter->restore();
    };
    auto drawLines = [&] {
        painter->save();
        painter->setPen(lineColor);
        // In doubles: space may be anything an int holds.
        const qreal top = qreal(space) + 1;
        const qreal bottom = qreal(height()) - 1 - space;
        for (const double x : g.separatorXs)
            painter->drawLine(QPointF(x, top), QPointF(x, bottom));
        painter->restore();
    };

    // The percentage label sits beside the track, so it goes first; the
    // centred label must stay readable on top of the bar, so it goes last.
    const bool centred = layout == ProgressBarLayout::CentredValue;
    if (!centred)
        drawLabel();
    drawFilled(g.track, barBgColor);
    drawFilled(g.bar, barColor);
    drawLines();
    if (centred)
        drawLabel();

    painter->restore();
}
