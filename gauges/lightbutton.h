#pragma once

#include <QColor>
#include <QPoint>
#include <QString>
#include <QWidget>

// A round indicator lamp: two gradient rings, a coloured body, an optional
// centred text and a glossy crescent. Everything is drawn in a 200 x 200
// logical square, so the lamp stays round whatever the widget's aspect.
class LightButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ getText WRITE setText)
    Q_PROPERTY(QColor textColor READ getTextColor WRITE setTextColor)
    Q_PROPERTY(QColor borderOutColorStart READ getBorderOutColorStart WRITE setBorderOutColorStart)
    Q_PROPERTY(QColor borderOutColorEnd READ getBorderOutColorEnd WRITE setBorderOutColorEnd)
    Q_PROPERTY(QColor borderInColorStart READ getBorderInColorStart WRITE setBorderInColorStart)
    Q_PROPERTY(QColor borderInColorEnd READ getBorderInColorEnd WRITE setBorderInColorEnd)
    Q_PROPERTY(QColor bgColor READ getBgColor WRITE setBgColor)
    Q_PROPERTY(bool canMove READ getCanMove WRITE setCanMove)
    Q_PROPERTY(bool showOverlay READ getShowOverlay WRITE setShowOverlay)
    Q_PROPERTY(QColor overlayColor READ getOverlayColor WRITE setOverlayColor)

public:
    explicit LightButton(QWidget *parent = nullptr);

    QString getText() const { return text; }
    QColor getTextColor() const { return textColor; }
    QColor getBorderOutColorStart() const { return borderOutColorStart; }
    QColor getBorderOutColorEnd() const { return borderOutColorEnd; }
    QColor getBorderInColorStart() const { return borderInColorStart; }
    QColor getBorderInColorEnd() const { return borderInColorEnd; }
    QColor getBgColor() const { return bgColor; }
    bool getCanMove() const { return canMove; }
    bool getShowOverlay() const { return showOverlay; }
    QColor getOverlayColor() const { return overlayColor; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setText(const QString &text);
    void setTextColor(const QColor &textColor);
    void setBorderOutColorStart(const QColor &borderOutColorStart);
    void setBorderOutColorEnd(const QColor &borderOutColorEnd);
    void setBorderInColorStart(const QColor &borderInColorStart);
    void setBorderInColorEnd(const QColor &borderInColorEnd);
    void setBgColor(const QColor &bgColor);
    void setCanMove(bool canMove);
    void setShowOverlay(bool showOverlay);
    void setOverlayColor(const QColor &overlayColor);

    void setGreen();
    void setRed();
    void setYellow();
    void setBlack();
    void setGray();
    void setBlue();
    void setLightBlue();
    void setLightRed();
    void setLightGreen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void drawBorderOut(QPainter *painter);
    void drawBorderIn(QPainter *painter);
    void drawBg(QPainter *painter);
    void drawText(QPainter *painter);
    void drawOverlay(QPainter *painter);

    QString text;
    QColor textColor;
    QColor borderOutColorStart;
    QColor borderOutColorEnd;
    QColor borderInColorStart;
    QColor borderInColorEnd;
    QColor bgColor;
    bool canMove;
    bool showOverlay;
    QColor overlayColor;

    // Drag state. Each lamp keeps its own, so that a press on one lamp can
    // never make another lamp jump on its next mouse move.
    bool pressed = false;
    QPoint pressPoint;
};
