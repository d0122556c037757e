// The help dialog: caption, styles, the pictures it shows, plain-text files and
// dragging.
#include "helptext.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

const QColor red(0xe3, 0x1e, 0x18);
const QColor dark(22, 22, 26);

int countPixels(const QImage &image, const QColor &color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == color;
    return count;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QTextEdit *area(const HelpText &help)
{
    return help.findChild<QTextEdit *>("textEdit");
}

} // namespace

class tst_HelpText : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void caption_data();
    void caption();
    void styles();
    void pictureChoice_data();
    void pictureChoice();
    void pictureShownOnce();
    void pictureInAwkwardFolder();
    void plainText_data();
    void plainText();
    void plainTextPaths();
    void drag_data();
    void drag();

private:
    QTemporaryDir dir;
};

void tst_HelpText::caption_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("caption");
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "Help";
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "Help";
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China) << "帮助";
    QTest::newRow("Chinese Taiwan") << QLocale(QLocale::Chinese, QLocale::Taiwan) << "帮助";
}

void tst_HelpText::caption()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, caption);
    QLocale::setDefault(locale);
    HelpText help;
    QCOMPARE(help.findChild<QLabel *>("LB_Help")->text(), caption);
}

void tst_HelpText::styles()
{
    HelpText help;
    auto *label = help.findChild<QLabel *>("LB_Help");
    // Red title bar, red one-pixel border round a dark text area.
    QImage image = help.grab().toImage();
    QCOMPARE(image.pixelColor(300, 20), red);
    QCOMPARE(image.pixelColor(0, 250), red);
    QCOMPARE(image.pixelColor(674, 250), red);
    QCOMPARE(image.pixelColor(300, 469), red);
    QCOMPARE(image.pixelColor(300, 250), dark);

    // A style of the caller's own changes only the title bar.
    label->setText("changed by hand");
    help.onModifyStyle("background-color: rgb(0, 160, 0);");
    image = help.grab().toImage();
    QCOMPARE(image.pixelColor(300, 20), QColor(0, 160, 0));
    QCOMPARE(image.pixelColor(0, 250), red);
    QCOMPARE(image.pixelColor(300, 250), dark);
    QCOMPARE(label->text(), QString("changed by hand"));

    // No argument: back to the red style and the caption.
    help.onModifyStyle();
    QCOMPARE(help.grab().toImage().pixelColor(300, 20), red);
    QCOMPARE(label->text(), QString("Help"));
}

void tst_HelpText::pictureChoice_data()
{
    QTest::addColumn<int>("productId");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("name");
    QTest::newRow("base en") << 0x0522 << int(QLocale::English) << "Base_En.jpg";
    QTest::newRow("base de") << 0x0522 << int(QLocale::German) << "Base_En.jpg";
    QTest::newRow("base zh") << 0x0522 << int(QLocale::Chinese) << "Base_Ch.jpg";
    QTest::newRow("wheel en") << 0x0524 << int(QLocale::English) << "Wheel_En.jpg";
    QTest::newRow("wheel zh") << 0x0524 << int(QLocale::Chinese) << "Wheel_Ch.jpg";
    QTest::newRow("rivet") << 0x0526 << int(QLocale::Chinese) << QString();
    QTest::newRow("plm") << 0x0525 << int(QLocale::English) << QString();
}

void tst_HelpText::pictureChoice()
{
    QFETCH(int, productId);
    QFETCH(int, language);
    QFETCH(QString, name);
    QCOMPARE(HelpText::helpPictureName(productId, QLocale::Language(language)), name);
    const QString path = HelpText::helpPicturePath(productId, QLocale::Language(language));
    if (name.isEmpty()) {
        QVERIFY(path.isEmpty());
        return;
    }
    // The build copies the pictures next to every program that shows them; each fits
    // the text area without scrolling.
    QCOMPARE(path, QCoreApplication::applicationDirPath() + "/file/Help/" + name);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QImage picture = reader.read();
    QVERIFY2(!picture.isNull(), qPrintable(reader.errorString()));
    QVERIFY(picture.width() <= 660 && picture.height() <= 420);
}

void tst_HelpText::pictureShownOnce()
{
    const QString path = dir.filePath("help.png");
    QImage picture(60, 50, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    QVERIFY(picture.save(path));

    QWidget window;
    HelpText help(&window);
    auto *close = help.findChild<QPushButton *>("TB_Close");
    // Help button, close button, help button again: the same dialog with one picture.
    // (The rich-text engine may scale pictures to the screen's resolution, so the
    // first showing gives the size of one picture.)
    int onePicture = 0;
    for (int round = 0; round < 3; ++round) {
        help.onInsertTheImagic(path);
        help.onOpenHelpTextWidget();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        const int shown = countPixels(area(help)->grab().toImage(), QColor(0, 200, 0));
        if (round == 0)
            onePicture = shown;
        QVERIFY(shown >= 60 * 50);
        QCOMPARE(shown, onePicture);
        // The dialog closes on the release, not the press.
        QTest::mousePress(close, Qt::LeftButton);
        QVERIFY(help.isVisible());
        QTest::mouseRelease(close, Qt::LeftButton);
        QVERIFY(!help.isVisible());
    }
}

void tst_HelpText::pictureInAwkwardFolder()
{
    const QString folder = dir.filePath("O'Brien & <Co> 50%");
    QVERIFY(QDir().mkpath(folder));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(200, 0, 200));
    QVERIFY(picture.save(folder + "/help.png"));

    HelpText help;
    help.onInsertTheImagic(folder + "/help.png");
    area(help)->resize(200, 200);
    QVERIFY(countPixels(area(help)->grab().toImage(), QColor(200, 0, 200)) >= 40 * 30);
}

void tst_HelpText::plainText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("windows line ends") << QByteArray("a\r\nb\r\n") << "a\nb\n";
    QTest::newRow("utf-8") << QByteArray("// 帮助\n") << "// 帮助\n";
    QTest::newRow("zero byte") << QByteArray("before\0after", 12) << "before";
    QTest::newRow("leading zero") << QByteArray("\0after", 6) << "";
}

void tst_HelpText::plainText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString path = writeFile(dir.filePath("sample.cpp"), bytes);
    QVERIFY(!path.isEmpty());
    HelpText help;
    area(help)->setPlainText("previous");
    help.onOpenPlainText(path);
    QCOMPARE(area(help)->toPlainText(), text);
}

void tst_HelpText::plainTextPaths()
{
    const QString path = writeFile(dir.filePath("notes.h"), "#pragma once\n");
    QVERIFY(!path.isEmpty());
    HelpText help;
    area(help)->setPlainText("previous");

    // Answers file dialogs: the first is cancelled, the second given the file.
    QStringList answers{QString(), path};
    QStringList asked;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || answers.isEmpty())
            return;
        asked << dialog->windowTitle() + " " + dialog->nameFilters().join(";");
        const QString next = answers.takeFirst();
        if (next.isEmpty()) {
            dialog->reject();
        } else {
            dialog->findChild<QLineEdit *>("fileNameEdit")->setText(next);
            static_cast<QDialog *>(dialog)->accept();
        }
    });
    answer.start(20);

    // An empty (not null) name, a missing file or a folder ask nothing and change nothing.
    for (const QString &name : {QString(""), dir.filePath("missing.cpp"), dir.path()}) {
        help.onOpenPlainText(name);
        QCOMPARE(area(help)->toPlainText(), QString("previous"));
    }
    QVERIFY(asked.isEmpty());

    // A null name asks.
    help.onOpenPlainText(QString());
    QCOMPARE(area(help)->toPlainText(), QString("previous"));
    help.onOpenPlainText(QString());
    QCOMPARE(area(help)->toPlainText(), QString("#pragma once\n"));
    const QString dialog = "Open File C++ Files (*.cpp *.h)";
    QCOMPARE(asked, QStringList({dialog, dialog}));
}

void tst_HelpText::drag_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("press");
    QTest::addColumn<QPoint>("moved");
    QTest::newRow("left") << int(Qt::LeftButton) << true << QPoint(30, 15);
    QTest::newRow("right") << int(Qt::RightButton) << true << QPoint();
    QTest::newRow("no press") << int(Qt::LeftButton) << false << QPoint();
}

void tst_HelpText::drag()
{
    QFETCH(int, button);
    QFETCH(bool, press);
    QFETCH(QPoint, moved);
    HelpText help;
    help.move(100, 80);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const auto send = [&help, button](QEvent::Type type, QPoint at) {
        const auto held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButton(button);
        QMouseEvent event(type, at, help.mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButton(button), held,
                          Qt::NoModifier);
        QApplication::sendEvent(&help, &event);
    };
    const QPoint start = help.pos();
    if (press)
        send(QEvent::MouseButtonPress, QPoint(200, 20));
    send(QEvent::MouseMove, QPoint(230, 35));
    QCOMPARE(help.pos(), start + moved);
    // After the release no move drags the dialog.
    send(QEvent::MouseButtonRelease, QPoint(230, 35));
    send(QEvent::MouseMove, QPoint(260, 60));
    QCOMPARE(help.pos(), start + moved);
}

QTEST_MAIN(tst_HelpText)
#include "tst_helptext.moc"
