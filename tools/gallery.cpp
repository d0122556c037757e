// Every gauge of the gauges library beside editors for its properties, for
// people who work on the widgets:
//   gallery                   opens the window
//   gallery --grab shot.png   renders the window into a picture and exits

#include "propertypanel.h"
#include <gauges/lcdnumber.h>
#include <gauges/lightbutton.h>
#include <gauges/progressbarcolor.h>
#include <gauges/roundcircle.h>

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QGroupBox *section(const QString &title, QWidget *gauge, const QSize &size)
{
    auto *box = new QGroupBox(title);
    auto *layout = new QHBoxLayout(box);
    gauge->setFixedSize(size);
    // The gauge sits on a dark backdrop as it does in the programs.
    auto *stage = new QWidget;
    stage->setAutoFillBackground(true);
    QPalette palette = stage->palette();
    palette.setColor(QPalette::Window, QColor(22, 22, 26));
    stage->setPalette(palette);
    stage->setMinimumSize(size + QSize(40, 40));
    gauge->setParent(stage);
    gauge->move(20, 20);
    layout->addWidget(stage, 0, Qt::AlignTop);
    auto *panel = new PropertyPanel(gauge);
    layout->addWidget(panel, 1);
    return box;
}

// Sweeps a bar's value over its range, so that both layouts can be watched moving.
QPushButton *sweepButton(ProgressBarColor *bar, QWidget *parent)
{
    auto *button = new QPushButton(QStringLiteral("sweep value"), parent);
    button->setCheckable(true);
    auto *timer = new QTimer(button);
    timer->setInterval(30);
    QObject::connect(timer, &QTimer::timeout, bar, [bar] {
        const double span = bar->getMaxValue() - bar->getMinValue();
        double next = bar->getValue() + span / 100.0;
        if (next > bar->getMaxValue())
            next = bar->getMinValue();
        bar->setValue(next);
    });
    QObject::connect(button, &QPushButton::toggled, timer,
                     [timer](bool on) { on ? timer->start() : timer->stop(); });
    return button;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int grabAt = arguments.indexOf(QStringLiteral("--grab"));

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);

    auto *percentage = new ProgressBarColor;
    percentage->setValue(42);
    QGroupBox *percentageBox =
        section(QStringLiteral("ProgressBarColor (percentage layout, updater)"), percentage,
                QSize(431, 41));
    percentageBox->layout()->addWidget(sweepButton(percentage, percentageBox));
    column->addWidget(percentageBox);

    auto *centred = new ProgressBarColor;
    centred->useCentredValueLayout();
    centred->setValue(1500);
    QGroupBox *centredBox =
        section(QStringLiteral("ProgressBarColor (centred-value layout, monitor)"), centred,
                QSize(431, 41));
    centredBox->layout()->addWidget(sweepButton(centred, centredBox));
    column->addWidget(centredBox);

    column->addWidget(section(QStringLiteral("RoundCircle"), new RoundCircle, QSize(61, 51)));

    auto *lcd = new LcdNumber;
    lcd->setNumber(8);
    column->addWidget(section(QStringLiteral("LcdNumber"), lcd, QSize(80, 120)));

    auto *lamp = new LightButton;
    lamp->setText(QStringLiteral("A"));
    column->addWidget(section(QStringLiteral("LightButton"), lamp, QSize(100, 100)));

    QScrollArea window;
    window.setWindowTitle(QStringLiteral("Gauge gallery"));
    window.setWidget(content);
    window.setWidgetResizable(true);
    window.resize(900, 800);

    if (grabAt >= 0) {
        if (grabAt + 1 >= arguments.size()) {
            QTextStream(stderr) << "usage: gallery [--grab <file.png>]\n";
            return 2;
        }
        content->adjustSize();
        return content->grab().save(arguments.at(grabAt + 1)) ? 0 : 1;
    }
    window.show();
    return app.exec();
}
