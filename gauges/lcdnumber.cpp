#include <gauges/lcdnumber.h>

#include <QLinearGradient>
#include <QPainter>

LcdNumber::LcdNumber(QWidget *parent) : QWidget(parent) {}

LcdSegments LcdNumber::segments() const
{
    LcdSegments::Input in;
    in.width = width();
    in.height = height();
    in.space = space;
    in.oneSpaceX = one_Space_X;
    in.rLegOffsetX = rLegOffsetX;
    in.rLegOffsetY = rLegOffsetY;
    in.nDiagonalOffsetX = nDiagonalOffsetX;
    in.nDiagonalOffsetY = nDiagonalOffsetY;
    return LcdSegments(in);
}

QSize LcdNumber::sizeHint() const
{
    return QSize(150, 200);
}

QSize LcdNumber::minimumSizeHint() const
{
    return QSize(20, 30);
}

void LcdNumber::setNumber(int number)
{
    if (number == this->number)
        return;
    this->number = number;
    update();
}

void LcdNumber::setSpace(int space)
{
    if (space == this->space)
        return;
    this->space = space;
    update();
}

void LcdNumber::setBgColorStart(const QColor &bgColorStart)
{
    setColor(this->bgColorStart, bgColorStart);
}

void LcdNumber::setBgColorEnd(const QColor &bgColorEnd)
{
    setColor(this->bgColorEnd, bgColorEnd);
}

void LcdNumber::setNumberColorStart(const QColor &numberColorStart)
{
    setColor(this->numberColorStart, numberColorStart);
}

void LcdNumber::setNumberColorEnd(const QColor &numberColorEnd)
{
    setColor(this->numberColorEnd, numberColorEnd);
}

void LcdNumber::setOne_Space_X(int data)
{
    one_Space_X = data;
}

void LcdNumber::setColor(QColor &field, const QColor &color)
{
    if (field == color)
        return;
    field = color;
    update();
}

void LcdNumber::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    drawBackground(&painter);
    drawCharacter(&painter);
}

void LcdNumber::drawBackground(QPainter *painter)
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

void LcdNumber::drawCharacter(QPainter *painter)
{
    painter->save();
    painter->setPen(Qt::NoPen);
    const LcdSegments cell = segments();
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, numberColorStart);
    gradient.setColorAt(1, numberColorEnd);
    painter->setBrush(gradient);

    const LcdSegments::Glyph glyph = LcdSegments::glyph(number);
    for (const LcdSegments::Segment segment : glyph.segments)
        painter->drawPolygon(cell.polygon(segment), Qt::OddEvenFill);
    if (glyph.turned) {
        painter->save();
        painter->rotate(glyph.turnDegrees);
        painter->drawPolygon(cell.polygon(*glyph.turned), Qt::OddEvenFill);
        painter->restore();
    }
    painter->restore();
}
