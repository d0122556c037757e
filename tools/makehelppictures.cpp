// Draws the help pictures that the updater's help dialog shows, one per
// product and language, into the folder given as the only argument:
//   QT_QPA_PLATFORM=offscreen makehelppictures updater/file/Help
// The Chinese pictures need a CJK font (fonts-wqy-zenhei).

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

namespace {

struct Picture
{
    const char *file;
    QString title;
    QStringList steps;
    bool wheel;
};

QStringList englishSteps()
{
    return {"1. Connect the device to the computer with the USB cable.",
            "2. Press \"File Path\" and choose the firmware file (.fw).",
            "3. Check both versions shown at the top of the window.",
            "4. Press \"DownLoad\" and wait until the bar is full.",
            "5. Do not unplug the device while it is being updated."};
}

QStringList chineseSteps()
{
    return {QString::fromUtf8("1. 用USB线把设备连接到电脑。"),
            QString::fromUtf8("2. 点击“文件路径”，选择固件文件（.fw）。"),
            QString::fromUtf8("3. 核对窗口上方显示的两个版本号。"),
            QString::fromUtf8("4. 点击“下载”，等待进度条走满。"),
            QString::fromUtf8("5. 更新过程中请勿拔出设备。")};
}

// A plain sketch of the product: a base plate or a steering wheel.
void drawProduct(QPainter &painter, bool wheel)
{
    painter.save();
    painter.setPen(QPen(QColor(200, 200, 200), 6));
    painter.setBrush(Qt::NoBrush);
    if (wheel) {
        painter.drawEllipse(QPointF(540, 250), 70, 70);
        painter.drawEllipse(QPointF(540, 250), 18, 18);
        painter.drawLine(QPointF(470, 250), QPointF(522, 250));
        painter.drawLine(QPointF(558, 250), QPointF(610, 250));
        painter.drawLine(QPointF(540, 268), QPointF(540, 320));
    } else {
        painter.drawRoundedRect(QRectF(465, 215, 150, 70), 12, 12);
        painter.drawLine(QPointF(485, 300), QPointF(595, 300));
        painter.drawEllipse(QPointF(540, 250), 14, 14);
    }
    painter.restore();
}

QImage draw(const Picture &picture, const QString &family)
{
    QImage image(640, 400, QImage::Format_RGB32);
    image.fill(QColor(22, 22, 26));
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    painter.fillRect(QRect(0, 0, 640, 64), QColor(0xe3, 0x1e, 0x18));
    QFont titleFont(family);
    titleFont.setPixelSize(30);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(Qt::white);
    painter.drawText(QRect(24, 0, 600, 64), Qt::AlignVCenter | Qt::AlignLeft, picture.title);

    QFont stepFont(family);
    stepFont.setPixelSize(17);
    painter.setFont(stepFont);
    painter.setPen(QColor(230, 230, 230));
    int y = 100;
    for (const QString &step : picture.steps) {
        painter.drawText(QRect(24, y, 430, 48), Qt::AlignLeft | Qt::TextWordWrap, step);
        y += 56;
    }
    drawProduct(painter, picture.wheel);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: makehelppictures <folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }

    const QString latin = QStringLiteral("DejaVu Sans");
    const QString cjk = QStringLiteral("WenQuanYi Zen Hei");
    const Picture pictures[] = {
        {"Base_En.jpg", "Base: offline firmware update", englishSteps(), false},
        {"Base_Ch.jpg", QString::fromUtf8("底座离线更新"), chineseSteps(), false},
        {"Wheel_En.jpg", "Wheel: offline firmware update", englishSteps(), true},
        {"Wheel_Ch.jpg", QString::fromUtf8("方向盘离线更新"), chineseSteps(), true},
    };
    for (const Picture &picture : pictures) {
        const bool chinese = QString::fromLatin1(picture.file).contains("_Ch");
        const QImage image = draw(picture, chinese ? cjk : latin);
        const QString path = folder.filePath(QString::fromLatin1(picture.file));
        if (!image.save(path, "JPG", 90)) {
            err << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
