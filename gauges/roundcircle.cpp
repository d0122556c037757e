#include <gauges/roundcircle.h>

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

namespace {

// 25 frames a second turn the arc smoothly at little cost; the coarse
// timer lets the system bundle its wake-ups with others.
constexpr int FrameInterval = 40;
constexpr int DegreesPerFrame = 10;

// Radii in the 200 x 200 logical square.
constexpr double RingOuter = 90.0;
constexpr double RingInner = 62.0;
constexpr double ArcOuter = 98.0;
constexpr double ArcInner = 56.0;
constexpr double ArcSpan = 100.0;
constexpr double DotRadius = 30.0;

QPainterPath annulus(double outer, double inner)
{
    QPainterPath path;
    path.addEllipse(QPointF(0, 0), outer, outer);
    path.addEllipse(QPointF(0, 0), inner, inner);
    return path; // odd-even fill leaves the hole open
}

// A piece of an annulus from 0 degrees counter-clockwise over span degrees
// (Qt's arc convention), which is the arc before it is turned.
QPainterPath annularSector(double outer, double inner, double span)
{
    QPainterPath path;
    path.arcMoveTo(QRectF(-outer, -outer, 2 * outer, 2 * outer), 0);
    path.arcTo(QRectF(-outer, -outer, 2 * outer, 2 * outer), 0, span);
    path.arcTo(QRectF(-inner, -inner, 2 * inner, 2 * inner), span, -span);
    path.closeSubpath();
    return path;
}

} // namespace

RoundCircle::RoundCircle(QWidget *parent) : QWidget(parent) {}

int RoundCircle::nextAngle(int angle, bool clockWise)
{
    const int next = angle + (clockWise ? DegreesPerFrame : -DegreesPerFrame);
    return ((next % 360) + 360) % 360;
}

QSize RoundCircle::sizeHint() const
{
    return QSize(60, 60);
}

QSize RoundCircle::minimumSizeHint() const
{
    return QSize(20, 20);
}

void RoundCircle::setClockWise(bool clockWise)
{
    if (clockWise == this->clockWise)
        return;
    this->clockWise = clockWise;
    update();
}

void RoundCircle::setBgColorStart(const QColor &bgColorStart)
{
    setColor(this->bgColorStart, bgColorStart);
}

void RoundCircle::setBgColorEnd(const QColor &bgColorEnd)
{
    setColor(this->bgColorEnd, bgColorEnd);
}

void RoundCircle::setPieColor1Start(const QColor &pieColor1Start)
{
    setColor(this->pieColor1Start, pieColor1Start);
}

void RoundCircle::setPieColor1End(const QColor &pieColor1End)
{
    setColor(this->pieColor1End, pieColor1End);
}

void RoundCircle::setColor(QColor &field, const QColor &color)
{
    if (field == color)
        return;
    field = color;
    update();
}

void RoundCircle::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    timer.start(FrameInterval, Qt::CoarseTimer, this);
}

void RoundCircle::hideEvent(QHideEvent *event)
{
    // Nobody sees a hidden ring: do not wake up for it.
    timer.stop();
    QWidget::hideEvent(event);
}

void RoundCircle::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    angle = nextAngle(angle, clockWise);
    update();
}

void RoundCircle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(side / 200.0, side / 200.0);

    drawRing(&painter);
    drawArc(&painter);
    drawDot(&painter);
}

void RoundCircle::drawRing(QPainter *painter)
{
    painter->save();
    painter->setPen(Qt::NoPen);
    QLinearGradient gradient(0, -RingOuter, 0, RingOuter);
    gradient.setColorAt(0, bgColorStart);
    gradient.setColorAt(1, bgColorEnd);
    painter->setBrush(gradient);
    painter->drawPath(annulus(RingOuter, RingInner));
    painter->restore();
}

void RoundCircle::drawArc(QPainter *painter)
{
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->rotate(angle);
    // The leading edge carries the start colour: the edge at 0 degrees when
    // turning clockwise, the one at ArcSpan degrees otherwise.
    QConicalGradient gradient(0, 0, 0);
    const double spanStop = ArcSpan / 360.0;
    gradient.setColorAt(0, clockWise ? pieColor1Start : pieColor1End);
    gradient.setColorAt(spanStop, clockWise ? pieColor1End : pieColor1Start);
    painter->setBrush(gradient);
    painter->drawPath(annularSector(ArcOuter, ArcInner, ArcSpan));
    painter->restore();
}

void RoundCircle::drawDot(QPainter *painter)
{
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(pieColor1Start);
    painter->drawEllipse(QPointF(0, 0), DotRadius, DotRadius);
    painter->restore();
}
