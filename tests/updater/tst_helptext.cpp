#include "helptext.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

const QColor red(0xe3, 0x1e, 0x18);

// Sets the default locale for the lifetime of one test.
class DefaultLocale
{
public:
    explicit DefaultLocale(const QLocale &locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(QLocale::c()); }
};

int imageCount(const QTextEdit *edit)
{
    int count = 0;
    for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                count += it.fragment().length();
    return count;
}

int countPixels(const QImage &image, const QColor &color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color)
                ++count;
    return count;
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void send(QWidget *widget, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    QMouseEvent event(
        type, pos, widget->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button,
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : button, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_HelpText : public QObject
{
    Q_OBJECT

private slots:
    void form_data();
    void form();
    void layout();
    void caption_data();
    void caption();
    void styles();
    void pictureChoice_data();
    void pictureChoice();
    void shippedPictures_data();
    void shippedPictures();
    void pictureShownOnce();
    void pictureInAwkwardFolder();
    void closeButtonHidesAndShowAgain();
    void plainText_data();
    void plainText();
    void plainTextKeepsContent();
    void plainTextNullPathAsks();
    void drag_data();
    void drag();
};

void tst_HelpText::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("LB_Help") << "LB_Help" << QByteArray("QLabel") << QRect(10, 0, 161, 41);
    QTest::newRow("TB_Close") << "TB_Close" << QByteArray("QPushButton") << QRect(640, 10, 20, 20);
    QTest::newRow("widget") << "widget" << QByteArray("QWidget") << QRect();
    QTest::newRow("textEdit") << "textEdit" << QByteArray("QTextEdit") << QRect();
}

void tst_HelpText::form()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, className);
    QFETCH(QRect, geometry);

    QWidget window;
    HelpText help(&window);
    QCOMPARE(help.objectName(), QString("HelpText"));
    QVERIFY(help.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(help.isWindow());
    QVERIFY(!help.isVisible());
    QCOMPARE(help.windowTitle(), QString("Dialog"));

    auto *child = help.findChild<QWidget *>(name);
    QVERIFY(child);
    QCOMPARE(QByteArray(child->metaObject()->className()), className);
    if (geometry.isValid())
        QCOMPARE(child->geometry(), geometry);

    auto *edit = help.findChild<QTextEdit *>("textEdit");
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->frameShape(), QFrame::NoFrame);
    auto *label = help.findChild<QLabel *>("LB_Help");
    QCOMPARE(label->font().family(), QString("Adobe Arabic"));
    QVERIFY(label->font().bold());
    QVERIFY(help.findChild<QPushButton *>("TB_Close")->text().isEmpty());
}

void tst_HelpText::layout()
{
    HelpText help;
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QCOMPARE(help.size(), QSize(675, 470));
    // No margins and no spacing: the title bar and the text area tile the dialog.
    QCOMPARE(help.findChild<QWidget *>("widget")->geometry(), QRect(0, 0, 675, 40));
    QCOMPARE(help.findChild<QWidget *>("textEdit")->geometry(), QRect(0, 40, 675, 430));
}

void tst_HelpText::caption_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("caption");

    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "Help";
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "Help";
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China)
                             << QString::fromUtf8("帮助");
    QTest::newRow("Chinese Taiwan")
        << QLocale(QLocale::Chinese, QLocale::Taiwan) << QString::fromUtf8("帮助");
}

void tst_HelpText::caption()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, caption);

    DefaultLocale guard(locale);
    HelpText help;
    QCOMPARE(help.findChild<QLabel *>("LB_Help")->text(), caption);
}

void tst_HelpText::styles()
{
    HelpText help;
    auto *bar = help.findChild<QWidget *>("widget");
    auto *edit = help.findChild<QTextEdit *>("textEdit");
    auto *label = help.findChild<QLabel *>("LB_Help");
    QCOMPARE(bar->styleSheet(), QString("background-color:#e31e18;"));
    QCOMPARE(edit->styleSheet(),
             QString("QTextEdit#textEdit{border: 1px solid #e31e18;background-color: rgb(22, 22, "
                     "26);}"));

    // Red title bar, red one-pixel border round a dark text area.
    QImage image = help.grab().toImage();
    QCOMPARE(image.pixelColor(300, 20), red);
    QCOMPARE(image.pixelColor(0, 250), red);
    QCOMPARE(image.pixelColor(674, 250), red);
    QCOMPARE(image.pixelColor(300, 469), red);
    QCOMPARE(image.pixelColor(300, 250), QColor(22, 22, 26));

    // A style of the caller's own changes only the title bar.
    label->setText("changed by hand");
    help.onModifyStyle("background-color: rgb(0, 160, 0);");
    QCOMPARE(bar->styleSheet(), QString("background-color: rgb(0, 160, 0);"));
    QCOMPARE(label->text(), QString("changed by hand"));
    image = help.grab().toImage();
    QCOMPARE(image.pixelColor(300, 20), QColor(0, 160, 0));
    QCOMPARE(image.pixelColor(0, 250), red);
    QCOMPARE(image.pixelColor(300, 250), QColor(22, 22, 26));

    // No argument: back to the default red style and caption.
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
    QTest::newRow("rivet en") << 0x0526 << int(QLocale::English) << QString();
    QTest::newRow("rivet zh") << 0x0526 << int(QLocale::Chinese) << QString();
    QTest::newRow("plm") << 0x0525 << int(QLocale::English) << QString();
    QTest::newRow("zero") << 0 << int(QLocale::Chinese) << QString();
}

void tst_HelpText::pictureChoice()
{
    QFETCH(int, productId);
    QFETCH(int, language);
    QFETCH(QString, name);

    QCOMPARE(HelpText::helpPictureName(productId, QLocale::Language(language)), name);
    const QString path = HelpText::helpPicturePath(productId, QLocale::Language(language));
    if (name.isEmpty())
        QVERIFY(path.isEmpty());
    else
        QCOMPARE(path, QCoreApplication::applicationDirPath() + "/file/Help/" + name);
}

void tst_HelpText::shippedPictures_data()
{
    QTest::addColumn<int>("productId");
    QTest::addColumn<int>("language");

    QTest::newRow("base en") << 0x0522 << int(QLocale::English);
    QTest::newRow("base zh") << 0x0522 << int(QLocale::Chinese);
    QTest::newRow("wheel en") << 0x0524 << int(QLocale::English);
    QTest::newRow("wheel zh") << 0x0524 << int(QLocale::Chinese);
}

void tst_HelpText::shippedPictures()
{
    QFETCH(int, productId);
    QFETCH(int, language);

    // The build copies the pictures next to every program that shows them.
    const QString path = HelpText::helpPicturePath(productId, QLocale::Language(language));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QImage picture = reader.read();
    QVERIFY2(!picture.isNull(), qPrintable(reader.errorString()));
    // Small enough for the text area, so that it shows without scrolling.
    QVERIFY(picture.width() <= 660 && picture.height() <= 420);

    HelpText help;
    help.onInsertTheImagic(path);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    // The picture's red heading band appears in the text area.
    const QImage shown = help.findChild<QTextEdit *>("textEdit")->grab().toImage();
    QVERIFY(near(shown.pixelColor(300, 20), red, 24));
}

void tst_HelpText::pictureShownOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("help.png");
    QImage picture(60, 50, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    QVERIFY(picture.save(path));

    QWidget window;
    HelpText help(&window);
    auto *edit = help.findChild<QTextEdit *>("textEdit");
    auto *close = help.findChild<QPushButton *>("TB_Close");

    // Help button, close button, help button again: one picture only.
    // (The rich-text engine may scale pictures to the screen's resolution,
    // so the first showing gives the size of one picture.)
    int onePicture = 0;
    for (int round = 0; round < 3; ++round) {
        help.onInsertTheImagic(path);
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(imageCount(edit), 1);
        const int shown = countPixels(edit->grab().toImage(), QColor(0, 200, 0));
        if (round == 0)
            onePicture = shown;
        QVERIFY(shown >= 60 * 50);
        QCOMPARE(shown, onePicture);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!help.isVisible());
    }

    // Whatever was in the area before is replaced.
    edit->setPlainText("old text");
    help.onInsertTheImagic(path);
    QCOMPARE(edit->toPlainText(), QString(QChar::ObjectReplacementCharacter));
}

void tst_HelpText::pictureInAwkwardFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("O'Brien & <Co> 50%");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/help.png";
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(200, 0, 200));
    QVERIFY(picture.save(path));

    HelpText help;
    help.onInsertTheImagic(path);
    auto *edit = help.findChild<QTextEdit *>("textEdit");
    edit->resize(200, 200);
    QVERIFY(countPixels(edit->grab().toImage(), QColor(200, 0, 200)) >= 40 * 30);
}

void tst_HelpText::closeButtonHidesAndShowAgain()
{
    QWidget window;
    HelpText help(&window);
    help.onOpenHelpTextWidget();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QVERIFY(help.isVisible());

    auto *close = help.findChild<QPushButton *>("TB_Close");
    // The dialog reacts to the release, not the press.
    QTest::mousePress(close, Qt::LeftButton);
    QVERIFY(help.isVisible());
    QTest::mouseRelease(close, Qt::LeftButton);
    QVERIFY(!help.isVisible());

    // Closing hides; the same dialog comes back.
    QPointer<HelpText> alive(&help);
    help.onOpenHelpTextWidget();
    QVERIFY(alive);
    QVERIFY(help.isVisible());
    QVERIFY(!help.isModal());
}

void tst_HelpText::plainText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("lines") << QByteArray("int main()\n{\n}\n") << "int main()\n{\n}\n";
    QTest::newRow("windows line ends") << QByteArray("a\r\nb\r\n") << "a\nb\n";
    QTest::newRow("utf-8") << QByteArray("// 帮助\n") << QString::fromUtf8("// 帮助\n");
    QTest::newRow("zero byte") << QByteArray("before\0after", 12) << "before";
    QTest::newRow("leading zero") << QByteArray("\0after", 6) << "";
    QTest::newRow("empty") << QByteArray() << "";
}

void tst_HelpText::plainText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("sample.cpp");
    writeFile(path, bytes);

    HelpText help;
    auto *edit = help.findChild<QTextEdit *>("textEdit");
    edit->setPlainText("previous");
    help.onOpenPlainText(path);
    QCOMPARE(edit->toPlainText(), text);
}

void tst_HelpText::plainTextKeepsContent()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    HelpText help;
    auto *edit = help.findChild<QTextEdit *>("textEdit");
    edit->setPlainText("previous");

    // An empty (not null) name must not ask for a file; fail if anything modal shows.
    bool asked = false;
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, [&asked] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            asked = true;
            modal->close();
        }
    });
    watchdog.start(20);

    help.onOpenPlainText(QString(""));
    QCOMPARE(edit->toPlainText(), QString("previous"));
    help.onOpenPlainText(dir.filePath("missing.cpp"));
    QCOMPARE(edit->toPlainText(), QString("previous"));
    help.onOpenPlainText(dir.path());
    QCOMPARE(edit->toPlainText(), QString("previous"));
    QTest::qWait(60);
    QVERIFY(!asked);
}

void tst_HelpText::plainTextNullPathAsks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("notes.h");
    writeFile(path, QByteArray("#pragma once\n"));

    HelpText help;
    auto *edit = help.findChild<QTextEdit *>("textEdit");
    edit->setPlainText("previous");

    // First the user cancels, then types the file's path into the dialog.
    for (bool accept : {false, true}) {
        QString title;
        QStringList filters;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answer.stop();
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            if (accept) {
                auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
                QVERIFY(name);
                name->setText(path);
                static_cast<QDialog *>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        answer.start(20);
        help.onOpenPlainText(QString());
        QCOMPARE(title, QString("Open File"));
        QCOMPARE(filters, QStringList{"C++ Files (*.cpp *.h)"});
        QCOMPARE(edit->toPlainText(), QString(accept ? "#pragma once\n" : "previous"));
    }
}

void tst_HelpText::drag_data()
{
    QTest::addColumn<int>("buttonValue");
    QTest::addColumn<bool>("press");
    QTest::addColumn<QPoint>("moved");

    QTest::newRow("left") << int(Qt::LeftButton) << true << QPoint(30, 15);
    QTest::newRow("right") << int(Qt::RightButton) << true << QPoint(0, 0);
    QTest::newRow("middle") << int(Qt::MiddleButton) << true << QPoint(0, 0);
    QTest::newRow("no press") << int(Qt::LeftButton) << false << QPoint(0, 0);
}

void tst_HelpText::drag()
{
    QFETCH(int, buttonValue);
    const auto button = Qt::MouseButton(buttonValue);
    QFETCH(bool, press);
    QFETCH(QPoint, moved);

    HelpText help;
    help.move(100, 80);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const QPoint start = help.pos();

    if (press)
        send(&help, QEvent::MouseButtonPress, QPoint(200, 20), button);
    send(&help, QEvent::MouseMove, QPoint(230, 35), button);
    QCOMPARE(help.pos(), start + moved);

    // After the release no move drags the dialog.
    send(&help, QEvent::MouseButtonRelease, QPoint(200, 20), button);
    send(&help, QEvent::MouseMove, QPoint(260, 60), Qt::NoButton);
    QCOMPARE(help.pos(), start + moved);
}

QTEST_MAIN(tst_HelpText)
#include "tst_helptext.moc"
