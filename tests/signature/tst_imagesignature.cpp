// Signatures made by the minisign tool (when the test was built: makesigned.py), checked
// by ours: every way a signature file can be wrong must be refused, and both of
// minisign's formats accepted.
#include "testsupport.h"
#include <signature/imagesignature.h>
#include <signature/minisign.h>

#include <QTemporaryDir>
#include <QtTest>

using imagesignature::State;

namespace {

// The signature file with byte `index` of the base64 line `line` (decoded) flipped.
QByteArray flipDecoded(QByteArray text, int line, int index)
{
    QList<QByteArray> lines = text.split('\n');
    QByteArray bytes = QByteArray::fromBase64(lines[line]);
    bytes[index] = char(bytes[index] ^ 0x01);
    lines[line] = bytes.toBase64();
    return lines.join('\n');
}

} // namespace

class TestImageSignature : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        image = made("1260.bin");
        QCOMPARE(image, firmwareBytes(400, 1260, 216));
        key = made("vendor.pub").split('\n').value(1);
        QVERIFY(!key.isEmpty());
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("signature"); // the file beside the image; null: none
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("withKey");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("comment");

        const QByteArray valid = made("1260.bin.minisig");
        const QByteArray legacy = made("1260.legacy.minisig");
        const int invalid = int(State::Invalid);
        QByteArray flippedImage = image;
        flippedImage[300] = char(flippedImage[300] ^ 0x01);
        QByteArray flippedComment = valid;
        flippedComment.replace("release 1260", "release 1269");

        QTest::newRow("valid, prehashed")
            << valid << image << true << int(State::Valid) << "release 1260";
        QTest::newRow("valid, legacy")
            << legacy << image << true << int(State::Valid) << "legacy 1260";
        QTest::newRow("valid, CRLF line ends") << QByteArray(valid).replace("\n", "\r\n") << image
                                               << true << int(State::Valid) << "release 1260";
        QTest::newRow("no key: nothing checked")
            << valid << image << false << int(State::NoKey) << "";
        QTest::newRow("missing") << QByteArray() << image << true << int(State::Missing) << "";
        QTest::newRow("another key's signature")
            << made("1260.other.minisig") << image << true << invalid << "";
        QTest::newRow("one byte of the image flipped")
            << valid << flippedImage << true << invalid << "";
        QTest::newRow("one byte of the legacy image flipped")
            << legacy << flippedImage << true << invalid << "";
        QTest::newRow("one byte of the signature flipped")
            << flipDecoded(valid, 1, 20) << image << true << invalid << "";
        QTest::newRow("one byte of the key id flipped")
            << flipDecoded(valid, 1, 3) << image << true << invalid << "";
        QTest::newRow("one byte of the trusted comment changed")
            << flippedComment << image << true << invalid << "";
        QTest::newRow("one byte of the global signature flipped")
            << flipDecoded(valid, 3, 5) << image << true << invalid << "";
        QTest::newRow("truncated")
            << valid.left(valid.size() - 30) << image << true << invalid << "";
        QTest::newRow("of another file")
            << made("1255.bin.minisig") << image << true << invalid << "";
        QTest::newRow("empty") << QByteArray("") << image << true << invalid << "";
        QTest::newRow("wrong base64")
            << QByteArray(valid).replace(valid.split('\n')[1].mid(10, 4), "!!!!") << image << true
            << invalid << "";
        QTest::newRow("unknown algorithm")
            << flipDecoded(flipDecoded(valid, 1, 0), 1, 1) << image << true << invalid << "";
        QTest::newRow("huge") << valid + QByteArray(minisign::MaxSignatureFileSize, '\n') << image
                              << true << invalid << "";
    }

    void check()
    {
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, image);
        QFETCH(bool, withKey);
        QFETCH(int, state);
        QFETCH(QString, comment);

        const QString imagePath = folder.filePath(QTest::currentDataTag() + QString(".fw"));
        QVERIFY(writeFile(imagePath, image));
        QVERIFY(signature.isNull() ||
                writeFile(imagesignature::signaturePath(imagePath), signature));
        const imagesignature::Result result =
            imagesignature::check(image, imagePath, withKey ? key : QByteArray());
        QCOMPARE(int(result.state), state);
        QCOMPARE(result.trustedComment, comment);
        // The public key file, comment line and all, is a key as good as its line.
        if (withKey)
            QCOMPARE(int(imagesignature::check(image, imagePath, made("vendor.pub")).state), state);
    }

private:
    static QByteArray made(const QString &name)
    {
        return readFile(QStringLiteral(SIGNED_IMAGES "/") + name);
    }

    QTemporaryDir folder;
    QByteArray key; // the vendor's public key line
    QByteArray image;
};

QTEST_GUILESS_MAIN(TestImageSignature)
#include "tst_imagesignature.moc"
