// fwtool: makes and inspects firmware files with the updater's own parsing and checks.
//
//   fwtool pack --version N --dsp DSP.bin --arm ARM.bin --out FILE.fw [--fill 0xFF]
//   fwtool info FILE.fw [--device-version N] [--product-id 0x0526]
//   fwtool flash FILE.fw [--allow-older] [--wait SECONDS] [--quiet] [--json]

#include "firmwareimage.h"
#include "flashcommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <cstdio>

namespace {

void say(const QString &text)
{
    std::fputs(qPrintable(text + "\n"), stdout);
}

int fail(const QString &text)
{
    std::fputs(qPrintable("fwtool: " + text + "\n"), stderr);
    return 1;
}

int usage()
{
    return fail(
        "usage:\n"
        "  fwtool pack --version N --dsp DSP.bin --arm ARM.bin --out FILE.fw [--fill 0xFF]\n"
        "  fwtool info FILE.fw [--device-version N] [--product-id 0x0526]\n"
        "  fwtool flash FILE.fw [--allow-older] [--wait SECONDS] [--quiet] [--json]");
}

// Options as "--name value" pairs after the command; false on anything else.
bool options(const QStringList &args, int from, QHash<QString, QString> *out, QString *positional)
{
    for (int i = from; i < args.size(); ++i) {
        if (args[i].startsWith("--")) {
            if (i + 1 >= args.size())
                return false;
            out->insert(args[i].mid(2), args[i + 1]);
            ++i;
        } else if (positional && positional->isEmpty()) {
            *positional = args[i];
        } else {
            return false;
        }
    }
    return true;
}

bool number(const QString &text, qint64 *value)
{
    bool ok = false;
    *value = text.toLongLong(&ok, 0);
    return ok;
}

bool readWhole(const QString &path, QByteArray *data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QString("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > firmware::MaxFileSize) {
        *error = QString("%1 is larger than %2 bytes").arg(path).arg(firmware::MaxFileSize);
        return false;
    }
    *data = file.readAll();
    return true;
}

int pack(const QHash<QString, QString> &opt)
{
    qint64 version = 0;
    qint64 fill = 0xFF;
    if (!opt.contains("dsp") || !opt.contains("arm") || !opt.contains("out") ||
        !number(opt.value("version"), &version))
        return usage();
    if (version < INT32_MIN || version > INT32_MAX)
        return fail("the version must fit in 32 bits");
    if (opt.contains("fill") && (!number(opt.value("fill"), &fill) || fill < 0 || fill > 255))
        return fail("the fill byte must be 0 to 255");
    QByteArray dsp, arm;
    QString error;
    if (!readWhole(opt.value("dsp"), &dsp, &error) || !readWhole(opt.value("arm"), &arm, &error))
        return fail(error);
    if (dsp.isEmpty() || arm.isEmpty())
        return fail("both images must hold at least one byte");
    const QByteArray file = firmware::pack(dsp, arm, qint32(version), char(fill));
    if (file.size() > firmware::MaxFileSize)
        return fail("the images together are too large for a firmware file");
    QFile out(opt.value("out"));
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size() || !out.flush())
        return fail(QString("cannot write %1: %2").arg(out.fileName(), out.errorString()));
    say(QString("%1: DSP %2 bytes, ARM %3 bytes, version %4")
            .arg(out.fileName())
            .arg(file.size() - 16 - (arm.size() + 7) / 8 * 8)
            .arg((arm.size() + 7) / 8 * 8)
            .arg(version));
    return 0;
}

int info(const QString &path, const QHash<QString, QString> &opt)
{
    firmware::Image image;
    switch (firmware::load(path, &image)) {
    case firmware::LoadError::CannotOpen:
        return fail("cannot open " + path);
    case firmware::LoadError::TooLarge:
        say(QString("%1: larger than %2 bytes; the updater refuses it (File Format Is Error)")
                .arg(path)
                .arg(firmware::MaxFileSize));
        return 2;
    case firmware::LoadError::None:
        break;
    }
    say(QString("file:        %1 (%2 bytes)").arg(path).arg(image.data.size()));
    if (image.headerComplete) {
        say(QString("DSP length:  %1").arg(image.dspEnd - firmware::HeaderSize));
        say(QString("version:     %1").arg(image.fileVersion));
        say(QString("ARM length:  %1").arg(image.armLength));
    }
    const QString problem = firmware::formatProblem(image);
    if (!problem.isEmpty()) {
        say("format:      refused (" + problem + "): File Format Is Error");
        return 2;
    }
    say("format:      ok");
    if (!opt.contains("device-version"))
        return 0;

    qint64 device = 0, product = 0x0526;
    if (!number(opt.value("device-version"), &device) || device < 0 || device > 0xFFFF ||
        (opt.contains("product-id") && !number(opt.value("product-id"), &product)))
        return usage();
    switch (firmware::versionCheck(int(product), quint16(device), image.fileVersion)) {
    case -1:
        say("device:      refused: The firmware file does not match the current device");
        return 2;
    case -2:
        say("device:      refused: The software type does not match the current device");
        return 2;
    default:
        break;
    }
    if (firmware::openResult(image, quint16(device)) == 2)
        say("device:      accepted, with a warning: The firmware file version is lower than "
            "the current device");
    else
        say("device:      accepted");
    return 0;
}

int flash(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.addHelpOption();
    fwtool::defineFlash(parser);
    if (!parser.parse(args)) {
        err << "fwtool: " << parser.errorText() << "\n";
        return 2;
    }
    if (parser.isSet("help")) {
        out << parser.helpText();
        return 0;
    }
    return fwtool::runFlash(parser, out, err);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return usage();
    QHash<QString, QString> opt;
    QString positional;
    if (args[1] == "pack") {
        if (!options(args, 2, &opt, nullptr))
            return usage();
        return pack(opt);
    }
    if (args[1] == "flash")
        return flash(args);
    if (args[1] == "info") {
        if (!options(args, 2, &opt, &positional) || positional.isEmpty())
            return usage();
        return info(positional, opt);
    }
    return usage();
}
