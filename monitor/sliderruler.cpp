#include <monitor/sliderruler.h>

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPainter>
#include <QPolygonF>
#include <QRegularExpressionValidator>

namespace {

constexpr double MaxTicks = 65536;

const char *const editNames[SliderRuler::HandleCount] = {"lineEditA", "lineEditB", "lineEditC",
                                                         "lineEditD"};

// Whether the editor lost the focus only for a moment: to a context menu, or because
// another program came to the front (the user looks a number up in a calculator and
// comes back). The focus returns to the editor with what was typed, neither applied
// nor given back.
bool stillTyping(Qt::FocusReason reason)
{
    return reason == Qt::PopupFocusReason ||
           (reason == Qt::ActiveWindowFocusReason && !QApplication::activeWindow());
}

} // namespace

SliderRuler::SliderRuler(QWidget *parent) : QWidget(parent)
{
    for (int i = 0; i < HandleCount; ++i) {
        handleXs[i] = space;
        lineEdits[i] = new QLineEdit(this);
        lineEdits[i]->setObjectName(QLatin1String(editNames[i]));
        lineEdits[i]->setMaximumWidth(60);
        lineEdits[i]->setMaximumHeight(30);
        connect(lineEdits[i], &QLineEdit::returnPressed, this, &SliderRuler::Slot_SetLabelStyle);
        connect(lineEdits[i], &QLineEdit::textEdited, this, [this, i] { markRefused(i, false); });
        lineEdits[i]->installEventFilter(this);
    }
    limitEdits();
    // Set after the line edits exist, so that they inherit it as children.
    setFont(QFont(QStringLiteral("Arial"), 8));
}

double SliderRuler::getValue(int index) const
{
    if (index < 0 || index >= HandleCount)
        index = 0;
    return handleValues[index];
}

double SliderRuler::handleX(int index) const
{
    return handleXs[index];
}

QColor SliderRuler::handleColor(int index)
{
    static const QColor colors[HandleCount] = {QColor(132, 112, 255), QColor(47, 236, 136),
                                               QColor(47, 100, 236), QColor(236, 207, 47)};
    return colors[index];
}

QSize SliderRuler::sizeHint() const
{
    return QSize(500, 70);
}

QSize SliderRuler::minimumSizeHint() const
{
    return QSize(50, 50);
}

void SliderRuler::setRange(double minValue, double maxValue)
{
    if (minValue >= maxValue)
        return;
    this->minValue = minValue;
    this->maxValue = maxValue;
    limitEdits();
    setValue(minValue, 1);
    // The scale changed even when handle 1 could not follow.
    update();
}

void SliderRuler::setRange(int minValue, int maxValue)
{
    setRange(double(minValue), double(maxValue));
}

void SliderRuler::setMinValue(double minValue)
{
    if (minValue >= maxValue)
        return;
    this->minValue = minValue;
    limitEdits();
    setValue(minValue, 1);
    update();
}

void SliderRuler::setMaxValue(double maxValue)
{
    if (minValue >= maxValue)
        return;
    this->maxValue = maxValue;
    limitEdits();
    setValue(minValue, 1);
    update();
}

double SliderRuler::xForValue(double v) const
{
    return space + (width() - 2 * space) * (v - minValue) / (maxValue - minValue);
}

void SliderRuler::placeEdit(int index, int x, int y, double v)
{
    QLineEdit *edit = lineEdits[index];
    // Rides above its handle, but wholly inside the ruler: at the ends of the scale
    // the editor would be cut off.
    edit->move(qBound(0, x, width() - edit->width()), y);
    // While the user types into it (edited since it was last set), reports move the
    // handle but leave the text alone: Return commits what was typed, Escape or another
    // control of ours gives it back. That holds while another program is in front too.
    // A refused number keeps its mark while it stays in view.
    const QString text = QString::number(int(v));
    if (!edit->isModified() && edit->text() != text) {
        edit->setText(text);
        markRefused(index, false);
    }
}

void SliderRuler::restoreEdit(int index)
{
    lineEdits[index]->setText(QString::number(int(handleValues[index])));
    markRefused(index, false);
}

bool SliderRuler::eventFilter(QObject *watched, QEvent *event)
{
    for (int i = 0; i < HandleCount; ++i) {
        if (watched != lineEdits[i])
            continue;
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            restoreEdit(i);
            return true;
        }
        if (event->type() == QEvent::FocusOut && lineEdits[i]->isModified() &&
            !stillTyping(static_cast<QFocusEvent *>(event)->reason()))
            restoreEdit(i);
    }
    return QWidget::eventFilter(watched, event);
}

bool SliderRuler::fits(double value, int num) const
{
    switch (num) {
    case 1:
        return value <= handleValues[1] && handleValues[0] >= 0;
    case 2:
        return handleValues[0] <= value && value <= handleValues[2];
    case 3:
        return handleValues[1] <= value && value <= handleValues[3];
    case 4:
        return handleValues[2] <= value && value <= maxValue;
    default:
        return false;
    }
}

void SliderRuler::limitEdits()
{
    const int digits = QString::number(qint64(qMax(qAbs(minValue), qAbs(maxValue)))).size();
    const QRegularExpression number(QStringLiteral("[0-9]{0,%1}").arg(digits));
    for (QLineEdit *edit : lineEdits)
        edit->setValidator(new QRegularExpressionValidator(number, edit));
}

void SliderRuler::markRefused(int index, bool refused)
{
    QLineEdit *edit = lineEdits[index];
    if (edit->property("refused").toBool() == refused)
        return;
    edit->setProperty("refused", refused);
    edit->setStyleSheet(refused ? QStringLiteral("QLineEdit { border: 2px solid rgb(230, 0, 0); }")
                                : QString());
}

void SliderRuler::setValue(double value, int num)
{
    // A handle held by the mouse stays where the user drags it: the release writes
    // that value, not one a report brought meanwhile.
    if (value < minValue || value > maxValue || (pressedHandle != 0 && num == pressedHandle))
        return;
    const double x = xForValue(value);
    this->value = value;

    if (!fits(value, num)) {
        // A value that would pass a neighbour is kept as handle 1's value without
        // moving its picture; the device then receives it as the first value.
        if (pressedHandle != 1)
            handleValues[0] = value;
        return;
    }

    const int index = num - 1;
    handleValues[index] = value;
    handleXs[index] = x;
    placeEdit(index, int(x), space - 12, value);
    emit valueChanged(value);
    update();
}

void SliderRuler::setValue(double value)
{
    setValue(value, 1);
}

void SliderRuler::setValue(int value)
{
    setValue(double(value), 1);
}

void SliderRuler::setPrecision(int precision)
{
    if (precision > 3 || precision == this->precision)
        return;
    this->precision = precision;
    update();
}

// Steps below 1 are refused: the tick loop advances by shortStep and tests
// divisibility by longStep, so zero or a negative step would never end or divide
// by zero.
void SliderRuler::setLongStep(int longStep)
{
    if (longStep < 1 || longStep < shortStep || longStep == this->longStep)
        return;
    this->longStep = longStep;
    update();
}

void SliderRuler::setShortStep(int shortStep)
{
    if (shortStep < 1 || shortStep > longStep || shortStep == this->shortStep)
        return;
    this->shortStep = shortStep;
    update();
}

void SliderRuler::setSpace(int space)
{
    if (space == this->space)
        return;
    this->space = space;
    update();
}

void SliderRuler::setBgColorStart(QColor bgColorStart)
{
    if (bgColorStart == this->bgColorStart)
        return;
    this->bgColorStart = bgColorStart;
    update();
}

void SliderRuler::setBgColorEnd(QColor bgColorEnd)
{
    if (bgColorEnd == this->bgColorEnd)
        return;
    this->bgColorEnd = bgColorEnd;
    update();
}

void SliderRuler::setLineColor(QColor lineColor)
{
    if (lineColor == this->lineColor)
        return;
    this->lineColor = lineColor;
    update();
}

void SliderRuler::setSliderColorTop(QColor sliderColorTop)
{
    if (sliderColorTop == this->sliderColorTop)
        return;
    this->sliderColorTop = sliderColorTop;
    update();
}

void SliderRuler::setSliderColorBottom(QColor sliderColorBottom)
{
    if (sliderColorBottom == this->sliderColorBottom)
        return;
    this->sliderColorBottom = sliderColorBottom;
    update();
}

void SliderRuler::setTipBgColor(QColor tipBgColor)
{
    if (tipBgColor == this->tipBgColor)
        return;
    this->tipBgColor = tipBgColor;
    update();
}

void SliderRuler::setTipTextColor(QColor tipTextColor)
{
    if (tipTextColor == this->tipTextColor)
        return;
    this->tipTextColor = tipTextColor;
    update();
}

void SliderRuler::Slot_SetLabelStyle()
{
    QMutexLocker locker(&labelMutex);
    auto *edit = qobject_cast<QLineEdit *>(sender());
    if (!edit || edit->text().isEmpty())
        return;
    const int number = edit->text().toInt(nullptr, 10);
    // Committed: the handle's value may show in the editor again, and leaving it
    // keeps a refused number in view.
    edit->setModified(false);
    int num = 1;
    for (int i = 0; i < HandleCount; ++i) {
        if (edit->objectName() == QLatin1String(editNames[i]))
            num = i + 1;
    }
    const bool accepted = minValue <= number && number <= maxValue && fits(number, num);
    setValue(double(number), num);
    markRefused(num - 1, !accepted);
    emit FinalDataChange();
    edit->clearFocus();
}

void SliderRuler::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF point(qRound(event->localPos().x()), qRound(event->localPos().y()));
    for (int i = 0; i < HandleCount; ++i) {
        if (gripRects[i].contains(point)) {
            pressedHandle = quint8(i + 1);
            update();
            return;
        }
    }
}

void SliderRuler::mouseMoveEvent(QMouseEvent *event)
{
    if (pressedHandle == 0)
        return;
    const int index = pressedHandle - 1;
    const int px = qRound(event->localPos().x());
    const double left = index == 0 ? scaleLine.x1() : handleXs[index - 1];
    const double right = index == HandleCount - 1 ? scaleLine.x2() : handleXs[index + 1];
    if (px < left || px > right)
        return;

    const double v = minValue + (maxValue - minValue) * (px - scaleLine.x1()) /
                                    (scaleLine.x2() - scaleLine.x1());
    handleXs[index] = px;
    handleValues[index] = v;
    value = v;
    placeEdit(index, px, 0, v);
    emit valueChanged(v);
    update();
}

void SliderRuler::mouseReleaseEvent(QMouseEvent *)
{
    if (pressedHandle != 0)
        emit FinalDataChange();
    pressedHandle = 0;
    update();
}

void SliderRuler::wheelEvent(QWheelEvent *)
{
    // Swallowed: the wheel must not scroll a parent while the pointer is on the ruler.
}

void SliderRuler::updateLengths()
{
    const int h = height();
    longTickLength = h / 5;
    shortTickLength = h / 7;
    markerHeight = h / 7;
    gripHeight = h / 6;
    // Only handle 1 follows a new width; the owner sets the others again.
    if (isVisible())
        setValue(handleValues[0], 1);
}

void SliderRuler::resizeEvent(QResizeEvent *)
{
    updateLengths();
}

void SliderRuler::showEvent(QShowEvent *)
{
    updateLengths();
}

void SliderRuler::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    drawBackground(&painter);
    drawScale(&painter);
    drawTicks(&painter);
    for (int i = 0; i < HandleCount; ++i)
        drawHandle(&painter, i);
}

double SliderRuler::gripTop() const
{
    return height() * 0.5 - longTickLength * 0.25 + markerHeight;
}

QFont SliderRuler::fittedFont(double room) const
{
    QFont f = font();
    const double lineHeight = QFontMetricsF(f).height();
    if (lineHeight <= room || room < 1)
        return f;
    const double k = room / lineHeight;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * k);
    else
        f.setPixelSize(qMax(1, int(f.pixelSize() * k)));
    return f;
}

void SliderRuler::drawBackground(QPainter *painter)
{
    painter->save();
    painter->setPen(Qt::NoPen);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, bgColorStart);
    gradient.setColorAt(1, bgColorEnd);
    painter->setBrush(gradient);
    painter->drawRect(rect());
    painter->restore();
}

void SliderRuler::drawScale(QPainter *painter)
{
    painter->save();
    painter->setPen(lineColor);
    const double lineY = height() * 0.5;
    scaleLine = QLineF(space, lineY, width() - space, lineY);
    painter->drawLine(scaleLine);
    painter->restore();
}

void SliderRuler::drawTicks(QPainter *painter)
{
    // A huge range would take hours of drawing sub-pixel ticks that no screen can
    // show apart: such a scale is drawn without ticks.
    if ((maxValue - minValue) / shortStep > MaxTicks)
        return;
    painter->save();
    painter->setPen(lineColor);
    // The labels sit below the grips, where no handle reaches, in a font that fits
    // there, and each wholly inside the ruler: centred under its tick, the last one
    // would lose its end at the edge.
    const double labelTop = gripTop() + gripHeight;
    painter->setFont(fittedFont(height() - labelTop));
    const QFontMetricsF metrics(painter->font());
    const double baseline = labelTop + metrics.ascent();
    const double lineY = height() * 0.5;
    const double stepX = shortStep * (width() - 2 * space) / (maxValue - minValue);
    double tx = space;
    for (qint64 i = qint64(minValue); i <= maxValue; i += shortStep, tx += stepX) {
        if (i % longStep == 0) {
            painter->drawLine(QPointF(tx, lineY - longTickLength), QPointF(tx, lineY));
            const QString label = QString("%1").arg(double(i), 0, 'f', precision, QLatin1Char(' '));
            const double w = metrics.horizontalAdvance(label);
            // A unit clear of the edges: at fractional factors the last column of a
            // glyph flush with the edge would be cut.
            painter->drawText(QPointF(qBound(1.0, tx - w / 2, width() - w - 1), baseline), label);
        } else {
            painter->drawLine(QPointF(tx, lineY - shortTickLength), QPointF(tx, lineY));
        }
    }
    painter->restore();
}

void SliderRuler::drawHandle(QPainter *painter, int index)
{
    painter->save();
    const QColor color = handleColor(index);
    painter->setPen(color);
    painter->setBrush(color);
    const double x = handleXs[index];
    const double baseY = gripTop();
    const double apexY = baseY - markerHeight;
    const double halfW = width() / 100;
    const QPolygonF marker(
        QVector<QPointF>{QPointF(x, apexY), QPointF(x - halfW, baseY), QPointF(x + halfW, baseY)});
    painter->drawPolygon(marker, Qt::OddEvenFill);
    gripRects[index] = QRectF(x - halfW, baseY, 2 * halfW, gripHeight);
    painter->drawRect(gripRects[index]);
    painter->restore();
}
