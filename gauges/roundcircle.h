#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QWidget>

// A ring that shows a link's state: a gradient ring with a coloured arc that
// turns clockwise or counter-clockwise around a dot of the same colour.
// It animates only while it is shown.
class RoundCircle : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor bgColorStart READ getBgColorStart WRITE setBgColorStart)
    Q_PROPERTY(QColor bgColorEnd READ getBgColorEnd WRITE setBgColorEnd)
    Q_PROPERTY(QColor pieColor1Start READ getPieColor1Start WRITE setPieColor1Start)
    Q_PROPERTY(QColor pieColor1End READ getPieColor1End WRITE setPieColor1End)
    Q_PROPERTY(bool clockWise READ getClockWise WRITE setClockWise)

public:
    explicit RoundCircle(QWidget *parent = nullptr);

    QColor getBgColorStart() const { return bgColorStart; }
    QColor getBgColorEnd() const { return bgColorEnd; }
    QColor getPieColor1Start() const { return pieColor1Start; }
    QColor getPieColor1End() const { return pieColor1End; }
    bool getClockWise() const { return clockWise; }

    // Current turn of the arc in degrees, 0 to 359, clockwise on screen.
    int getAngle() const { return angle; }
    bool isAnimating() const { return timer.isActive(); }

    // The turn after one frame: a fixed step in the given direction.
    static int nextAngle(int angle, bool clockWise);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setClockWise(bool clockWise);
    void setBgColorStart(const QColor &bgColorStart);
    void setBgColorEnd(const QColor &bgColorEnd);
    void setPieColor1Start(const QColor &pieColor1Start);
    void setPieColor1End(const QColor &pieColor1End);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void setColor(QColor &field, const QColor &color);
    void drawRing(QPainter *painter);
    void drawArc(QPainter *painter);
    void drawDot(QPainter *painter);

    QColor bgColorStart{80, 80, 80};
    QColor bgColorEnd{40, 40, 40};
    QColor pieColor1Start{0, 0, 255};
    QColor pieColor1End{0, 0, 255};
    bool clockWise = true;
    int angle = 0;
    QBasicTimer timer;
};
