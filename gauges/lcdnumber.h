#pragma once

#include <gauges/lcdsegments.h>

#include <QColor>
#include <QWidget>

// One character in the style of a seven-segment display: the digits 0 to 9
// and the letters A, N and R, drawn as gradient polygons that fill the widget.
class LcdNumber : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int number READ getNumber WRITE setNumber)
    Q_PROPERTY(int space READ getSpace WRITE setSpace)
    Q_PROPERTY(QColor bgColorStart READ getBgColorStart WRITE setBgColorStart)
    Q_PROPERTY(QColor bgColorEnd READ getBgColorEnd WRITE setBgColorEnd)
    Q_PROPERTY(QColor numberColorStart READ getNumberColorStart WRITE setNumberColorStart)
    Q_PROPERTY(QColor numberColorEnd READ getNumberColorEnd WRITE setNumberColorEnd)

public:
    explicit LcdNumber(QWidget *parent = nullptr);

    int getNumber() const { return number; }
    int getSpace() const { return space; }
    int getOne_Space_X() const { return one_Space_X; }
    QColor getBgColorStart() const { return bgColorStart; }
    QColor getBgColorEnd() const { return bgColorEnd; }
    QColor getNumberColorStart() const { return numberColorStart; }
    QColor getNumberColorEnd() const { return numberColorEnd; }

    // The polygons this widget paints at its current size and settings.
    LcdSegments segments() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setNumber(int number);
    void setSpace(int space);
    void setBgColorStart(const QColor &bgColorStart);
    void setBgColorEnd(const QColor &bgColorEnd);
    void setNumberColorStart(const QColor &numberColorStart);
    void setNumberColorEnd(const QColor &numberColorEnd);
    // Takes effect at the next repaint that something else causes.
    void setOne_Space_X(int data);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void setColor(QColor &field, const QColor &color);
    void drawBackground(QPainter *painter);
    void drawCharacter(QPainter *painter);

    int number = 0;
    int space = 20;
    // Placement of the extra strokes of R and N before they are turned.
    int rLegOffsetX = 60;
    int rLegOffsetY = 40;
    int nDiagonalOffsetX = 10;
    int nDiagonalOffsetY = 140;
    int one_Space_X = 60;
    QColor bgColorStart{100, 100, 100};
    QColor bgColorEnd{100, 100, 100};
    QColor numberColorStart{100, 184, 255};
    QColor numberColorEnd{79, 148, 205};
};
