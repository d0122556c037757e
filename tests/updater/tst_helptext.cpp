// The help dialog: caption, styles, the pictures it shows, plain-text files and
// dragging.
#include "helptext.h"
#include "updaterfixture.h"

#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

namespace {

const QColor red(0xe3, 0x1e, 0x18);

int countPixels(const QImage &image, const QColor &color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == color;
    return count;
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
    void captionAndStyles();
    void pictureChoice_data();
    void pictureChoice();
    void pictureShownOnce();
    void pictureInAwkwardFolder();
    void plainText();
    void dragWithLeftButtonOnly();

private:
    QTemporaryDir dir;
};

void tst_HelpText::captionAndStyles()
{
    for (const auto &[language, caption] : {std::pair{QLocale::English, "Help"},
                                            {QLocale::German, "Help"},
                                            {QLocale::Chinese, "帮助"}}) {
        QLocale::setDefault(QLocale(language));
        QCOMPARE(HelpText().findChild<QLabel *>("LB_Help")->text(), QString(caption));
    }
    // A red title bar and a red one-pixel border round a dark text area; a style of the
    // caller's own changes only the title bar, and no style brings the red one back.
    HelpText help;
    QCOMPARE(help.grab().toImage().pixelColor(300, 20), red);
    help.onModifyStyle("background-color: rgb(0, 160, 0);");
    const QImage image = help.grab().toImage();
    QCOMPARE(image.pixelColor(300, 20), QColor(0, 160, 0));
    QCOMPARE(image.pixelColor(0, 250), red);
    QCOMPARE(image.pixelColor(300, 469), red);
    QCOMPARE(image.pixelColor(300, 250), QColor(22, 22, 26));
    help.onModifyStyle();
    QCOMPARE(help.grab().toImage().pixelColor(300, 20), red);
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
        onePicture = round == 0 ? shown : onePicture;
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

void tst_HelpText::plainText()
{
    HelpText help;
    const auto open = [&](const QString &path) {
        area(help)->setPlainText("previous");
        help.onOpenPlainText(path);
        return area(help)->toPlainText();
    };
    // Windows line ends, UTF-8, and a file cut at its first zero byte.
    const std::pair<QByteArray, QString> files[] = {{QByteArray("a\r\nb\r\n"), "a\nb\n"},
                                                    {QByteArray("// 帮助\n"), "// 帮助\n"},
                                                    {QByteArray("before\0after", 12), "before"},
                                                    {QByteArray("\0after", 6), ""}};
    for (const auto &[bytes, text] : files)
        QCOMPARE(open(writeFile(dir, "sample.cpp", bytes)), text);

    // Answers file dialogs: the first is cancelled, the second given a file.
    QStringList answers{QString(), writeFile(dir, "notes.h", "// 帮助\n")};
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
    for (const QString &name : {QString(""), dir.filePath("missing.cpp"), dir.path()})
        QCOMPARE(open(name), QString("previous"));
    QVERIFY(asked.isEmpty());
    // A null name asks.
    QCOMPARE(open(QString()), QString("previous"));
    QCOMPARE(open(QString()), QString("// 帮助\n"));
    const QString dialog = "Open File C++ Files (*.cpp *.h)";
    QCOMPARE(asked, QStringList({dialog, dialog}));
}

void tst_HelpText::dragWithLeftButtonOnly()
{
    HelpText help;
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const QList<QPoint> still{QPoint(), QPoint()};
    QCOMPARE(dragged(&help, &help, Qt::RightButton), still);
    QCOMPARE(dragged(&help, &help, Qt::LeftButton, false), still);
    QCOMPARE(dragged(&help, &help, Qt::LeftButton), QList<QPoint>({{30, 15}, {30, 15}}));
}

QTEST_MAIN(tst_HelpText)
#include "tst_helptext.moc"
