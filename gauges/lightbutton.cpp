#include <gauges/lightbutton.h>

#include <QEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

LightButton::LightButton(QWidget *parent)
    : QWidget(parent), textColor(255, 255, 255), borderOutColorStart(255, 255, 255),
      borderOutColorEnd(166, 166, 166), borderInColorStart(166, 166, 166),
      borderInColorEnd(255, 255, 255), bgColor(100, 184, 255), canMove(false), showOverlay(true),
      overlayColor(255, 255, 255)
{
    setFont(QFont("Arial", 8));
    installEventFilter(this);
}

QSize LightButton::sizeHint() const
{
    return QSize(100, 100);
}

QSize LightButton::minimumSizeHint() const
{
    return QSize(10, 10);
}

bool LightButton::eventFilter(QObject *watched, QEvent *event)
{
    if (canMove && watched == this) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            setCursor(Qt::OpenHandCursor);
            const QPoint point = mouse->localPos().toPoint();
            if (rect().contains(point) && mouse->button() == Qt::LeftButton) {
                pressPoint = point;
                pressed = true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (pressed) {
                // The local position travels with the widget, so the press
                // point stays the reference for the whole drag.
                const QPoint point = static_cast<QMouseEvent *>(event)->localPos().toPoint();
                move(x() + point.x() - pressPoint.x(), y() + point.y() - pressPoint.y());
            }
            break;
        case QEvent::MouseButtonRelease:
            if (pressed) {
                setCursor(Qt::ArrowCursor);
                pressed = false;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LightButton::paintEvent(QPaintEvent *)
{
    const int side = qMin(width(), height());

    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.translate(width() / 2, height() / 2);
    painter.scale(side / 200.0, side / 200.0);

    drawBorderOut(&painter);
    drawBorderIn(&painter);
    drawBg(&painter);
    drawText(&painter);
    drawOverlay(&painter);
}

void LightButton::drawBorderOut(QPainter *painter)
{
    const int radius = 99;
    painter->save();
    painter->setPen(Qt::NoPen);
    QLinearGradient gradient(0, -radius, 0, radius);
    gradient.setColorAt(0, borderOutColorStart);
    gradient.setColorAt(1, borderOutColorEnd);
    painter->setBrush(gradient);
    painter->drawEllipse(-radius, -radius, radius * 2, radius * 2);
    painter->restore();
}

void LightButton::drawBorderIn(QPainter *painter)
{
    const int radius = 90;
    painter->save();
    painter->setPen(Qt::NoPen);
    QLinearGradient gradient(0, -radius, 0, radius);
    gradient.setColorAt(0, borderInColorStart);
    gradient.setColorAt(1, borderInColorEnd);
    painter->setBrush(gradient);
    painter->drawEllipse(-radius, -radius, radius * 2, radius * 2);
    painter->restore();
}

void LightButton::drawBg(QPainter *painter)
{
    const int radius = 80;
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(bgColor);
    painter->drawEllipse(-radius, -radius, radius * 2, radius * 2);
    painter->restore();
}

void LightButton::drawText(QPainter *painter)
{
    if (text.isEmpty())
        return;

    const int radius = 100;
    painter->save();
    QFont font("Arial");
    font.setPointSize(50);
    font.setWeight(QFont::Bold);
    painter->setFont(font);
    painter->setPen(textColor);
    painter->drawText(QRect(-radius, -radius, radius * 2, radius * 2), Qt::AlignCenter, text);
    painter->restore();
}

void LightButton::drawOverlay(QPainter *painter)
{
    if (!showOverlay)
        return;

    const int radius = 79;
    painter->save();
    painter->setPen(Qt::NoPen);

    // The crescent is the top of the body cut off by a circle twice its size
    // whose top edge lies just above the centre.
    QPainterPath body;
    body.addEllipse(-radius, -radius, radius * 2, radius * 2);
    QPainterPath cut;
    cut.addEllipse(-radius * 2, -18, radius * 4, radius * 4);
    const QPainterPath crescent = body - cut;

    // Work on copies: the stored colour keeps the opacity the caller gave it.
    QColor top = overlayColor;
    top.setAlpha(100);
    QColor bottom = overlayColor;
    bottom.setAlpha(30);
    QLinearGradient gradient(0, -radius, 0, 0);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter->setBrush(gradient);
    painter->rotate(-20);
    painter->drawPath(crescent);
    painter->restore();
}

void LightButton::setText(const QString &text)
{
    if (this->text == text)
        return;
    this->text = text;
    update();
}

void LightButton::setTextColor(const QColor &textColor)
{
    if (this->textColor == textColor)
        return;
    this->textColor = textColor;
    update();
}

void LightButton::setBorderOutColorStart(const QColor &borderOutColorStart)
{
    if (this->borderOutColorStart == borderOutColorStart)
        return;
    this->borderOutColorStart = borderOutColorStart;
    update();
}

void LightButton::setBorderOutColorEnd(const QColor &borderOutColorEnd)
{
    if (this->borderOutColorEnd == borderOutColorEnd)
        return;
    this->borderOutColorEnd = borderOutColorEnd;
    update();
}

void LightButton::setBorderInColorStart(const QColor &borderInColorStart)
{
    if (this->borderInColorStart == borderInColorStart)
        return;
    this->borderInColorStart = borderInColorStart;
    update();
}

void LightButton::setBorderInColorEnd(const QColor &borderInColorEnd)
{
    if (this->borderInColorEnd == borderInColorEnd)
        return;
    this->borderInColorEnd = borderInColorEnd;
    update();
}

void LightButton::setBgColor(const QColor &bgColor)
{
    if (this->bgColor == bgColor)
        return;
    this->bgColor = bgColor;
    update();
}

void LightButton::setCanMove(bool canMove)
{
    if (this->canMove == canMove)
        return;
    this->canMove = canMove;
    update();
}

void LightButton::setShowOverlay(bool showOverlay)
{
    if (this->showOverlay == showOverlay)
        return;
    this->showOverlay = showOverlay;
    update();
}

void LightButton::setOverlayColor(const QColor &overlayColor)
{
    if (this->overlayColor == overlayColor)
        return;
    this->overlayColor = overlayColor;
    update();
}

void LightButton::setGreen()
{
    setBgColor(QColor(0, 166, 0));
}

void LightButton::setRed()
{
    setBgColor(QColor(166, 0, 0));
}

void LightButton::setYellow()
{
    setBgColor(QColor(238, 238, 0));
}

void LightButton::setBlack()
{
    setBgColor(QColor(10, 10, 10));
}

void LightButton::setGray()
{
    setBgColor(QColor(129, 129, 129));
}

void LightButton::setBlue()
{
    setBgColor(QColor(0, 0, 166));
}

void LightButton::setLightBlue()
{
    setBgColor(QColor(100, 184, 255));
}

void LightButton::setLightRed()
{
    setBgColor(QColor(255, 107, 107));
}

void LightButton::setLightGreen()
{
    setBgColor(QColor(24, 189, 155));
}
