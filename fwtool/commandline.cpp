#include <fwtool/commandline.h>

#include <fwtool/commands.h>
#include <fwtool/flashcommand.h>
#include <fwtool/listcommand.h>
#include <fwtool/signaturecommand.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <optional>

namespace fwtool {

namespace {

struct Command
{
    const char *name;
    const char *summary;
    // Adds the command's options and arguments.
    void (*define)(QCommandLineParser &parser);
    // Runs it on a parsed command line; usage errors are found before any file is touched.
    int (*run)(const QCommandLineParser &parser, Streams &io);
};

int usageError(Streams &io, const QString &text, const QString &helpCommand)
{
    fail(io, text, ExitUsage);
    io.err << "Try '" << helpCommand << "' for more information.\n";
    return ExitUsage;
}

// Why a parser refused the command line; an unknown option is named with its dashes.
QString parseError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return QString("unknown option '%1%2'").arg(name.size() == 1 ? "-" : "--", name);
    }
    QString text = parser.errorText();
    if (text.endsWith('.'))
        text.chop(1);
    return text.isEmpty() ? text : text.left(1).toLower() + text.mid(1);
}

// Decimal, or hexadecimal after "0x"; leading zeros do not make it octal. USB ids
// are hexadecimal with or without the "0x", as they are written everywhere.
std::optional<qint64> parseNumber(QString text, bool hex)
{
    int base = hex ? 16 : 10;
    if (text.startsWith("0x", Qt::CaseInsensitive)) {
        text = text.mid(2);
        base = 16;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, base);
    if (!ok || text.isEmpty() || (base == 16 && !text.at(0).isLetterOrNumber()))
        return std::nullopt;
    return value;
}

struct NumberRule
{
    const char *option;
    qint64 low;
    qint64 high;
    bool hex = false;
};

// The option's value within [low, high], or the reason why not.
std::optional<qint64> number(const QCommandLineParser &parser, const NumberRule &rule,
                             QString *error)
{
    const QString text = parser.value(rule.option);
    const std::optional<qint64> value = parseNumber(text, rule.hex);
    if (!value)
        *error = QString("--%1: '%2' is not a number").arg(rule.option, text);
    else if (*value < 0 && rule.low == 0)
        *error = QString("--%1: %2 is negative").arg(rule.option).arg(*value);
    else if (*value < rule.low || *value > rule.high)
        *error = QString("--%1: %2 is not within %3 to %4")
                     .arg(rule.option)
                     .arg(*value)
                     .arg(rule.low)
                     .arg(rule.high);
    else
        return value;
    return std::nullopt;
}

// Leaves `value` as it is when the option is not given.
bool checkNumber(const QCommandLineParser &parser, const NumberRule &rule, qint64 *value,
                 Streams &io, const QString &helpCommand)
{
    if (!parser.isSet(rule.option))
        return true;
    QString error;
    const std::optional<qint64> checked = number(parser, rule, &error);
    if (!checked) {
        usageError(io, error, helpCommand);
        return false;
    }
    *value = *checked;
    return true;
}

bool noMoreArguments(const QCommandLineParser &parser, int expected, Streams &io,
                     const QString &helpCommand)
{
    const QStringList words = parser.positionalArguments();
    if (words.size() <= expected)
        return true;
    usageError(io, QString("unexpected argument '%1'").arg(words.at(expected)), helpCommand);
    return false;
}

void definePack(QCommandLineParser &parser)
{
    parser.setApplicationDescription("Makes a firmware file from a DSP and an ARM image, each "
                                     "padded to whole 8-byte packets.");
    parser.addPositionalArgument("pack", "This command.", "pack");
    parser.addOptions({{"version", "Firmware version in the header (0 or more).", "N"},
                       {"dsp", "The DSP image.", "DSP.bin"},
                       {"arm", "The ARM image.", "ARM.bin"},
                       {"out", "The firmware file to write.", "FILE.fw"},
                       {"fill", "Padding byte, 0 to 255 (default 0xFF).", "BYTE"},
                       {"json", "Print one JSON object: outcome, exitCode, out, dspLength, "
                                "armLength, version."}});
}

int runPack(const QCommandLineParser &parser, Streams &io)
{
    const QString help = QStringLiteral("fwtool pack --help");
    for (const char *required : {"version", "dsp", "arm", "out"}) {
        if (!parser.isSet(required))
            return usageError(io, QString("pack needs --%1").arg(required), help);
    }
    qint64 version = 0, fill = 0xFF;
    if (!noMoreArguments(parser, 1, io, help) ||
        !checkNumber(parser, {"version", 0, INT32_MAX}, &version, io, help) ||
        !checkNumber(parser, {"fill", 0, 255}, &fill, io, help))
        return ExitUsage;
    PackRequest request;
    request.version = qint32(version);
    request.fill = char(fill);
    request.dsp = parser.value("dsp");
    request.arm = parser.value("arm");
    request.out = parser.value("out");
    request.json = parser.isSet("json");
    return pack(request, io);
}

void defineInfo(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Shows a firmware file's header and whether the updater accepts it. The first line "
        "is the verdict; exit code 3 when the file is not a firmware image or the device "
        "would refuse it.\n" +
        exitCodeTable());
    parser.addPositionalArgument("info", "This command.", "info");
    parser.addPositionalArgument("file", "The firmware file.", "FILE.fw");
    parser.addOptions(
        {{"device-version", "Judge the file for a device at this version (0 to 65535).", "N"},
         {"product-id", "The device's USB product id, hexadecimal (default 0526).", "ID"},
         {"json", "Print one JSON object: size, dspLength, armLength, version, verdict, "
                  "reason, signature (valid, invalid, missing or no-key)."}});
    addKeyOption(parser);
}

int runInfo(const QCommandLineParser &parser, Streams &io)
{
    const QString help = QStringLiteral("fwtool info --help");
    if (parser.positionalArguments().size() < 2)
        return usageError(io, "info needs a firmware file", help);
    qint64 device = -1, product = deviceids::ProductId;
    if (!noMoreArguments(parser, 2, io, help) ||
        !checkNumber(parser, {"device-version", 0, 0xFFFF}, &device, io, help) ||
        !checkNumber(parser, {"product-id", 0, 0xFFFF, true}, &product, io, help))
        return ExitUsage;
    InfoRequest request;
    request.path = parser.positionalArguments().at(1);
    if (device >= 0)
        request.deviceVersion = quint16(device);
    request.productId = int(product);
    request.json = parser.isSet("json");
    const std::optional<QByteArray> key = chosenKey(parser, io.err);
    if (!key)
        return ExitUsage;
    request.key = *key;
    return info(request, io);
}

const Command commands[] = {
    {"pack", "make a firmware file", definePack, runPack},
    {"info", "show a firmware file and whether the updater accepts it", defineInfo, runInfo},
    {"flash", "update the device with a firmware file", defineFlash,
     [](const QCommandLineParser &parser, Streams &io) {
         // Its own outcomes are JSON already with --json; a wrong command line is said
         // here, as for the other commands.
         QString said;
         QTextStream err(&said);
         const int code = runFlash(parser, io.out, err);
         err.flush();
         io.err << said;
         if (io.json && code == ExitUsage)
             printJsonError(io, said.section('\n', 0, 0).mid(int(qstrlen("fwtool: "))), code);
         return code;
     }},
    {"list", "list the devices, their firmware versions and whether they are busy", defineList,
     [](const QCommandLineParser &parser, Streams &io) { return runList(parser, io.out, io.err); }},
    {"verify", "check a firmware file's signature", defineVerify, runVerify},
};

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

QString toolHelp(const QCommandLineParser &parser)
{
    QString text = parser.helpText() + "\nCommands:\n";
    for (const Command &command : commands)
        text += QString("  %1  %2\n").arg(QLatin1String(command.name), -6).arg(command.summary);
    text += "  help    this text, or a command's: fwtool help COMMAND\n";
    text += "\n" + exitCodeTable() + '\n';
    return text;
}

int runCommand(const Command &command, const QStringList &arguments, Streams &io)
{
    const QString help = QString("fwtool %1 --help").arg(command.name);
    QCommandLineParser parser;
    parser.addHelpOption();
    command.define(parser);
    if (!parser.parse(arguments))
        return usageError(io, parseError(parser), help);
    if (parser.isSet("help")) {
        io.out << parser.helpText();
        return ExitOk;
    }
    return command.run(parser, io);
}

} // namespace

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    // Known before the command line is parsed: its own errors are objects too.
    Streams io{out, err, arguments.contains(QStringLiteral("--json"))};
    QCommandLineParser parser;
    parser.setApplicationDescription("Makes and inspects firmware files with the updater's "
                                     "own checks.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("command",
                                 "pack, info, flash, list, verify or help; then its options.",
                                 "COMMAND [options]");
    // Everything after the command is the command's: `pack --version N` is not ours.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(arguments))
        return usageError(io, parseError(parser), "fwtool --help");
    if (parser.isSet("help")) {
        out << toolHelp(parser);
        return ExitOk;
    }
    if (parser.isSet("version")) {
        out << "fwtool " << QCoreApplication::applicationVersion() << '\n';
        return ExitOk;
    }
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return usageError(io, "no command given", "fwtool --help");
    if (words.first() == "help" && words.size() == 1) {
        out << toolHelp(parser);
        return ExitOk;
    }
    const QString name = words.first() == "help" ? words.at(1) : words.first();
    const Command *command = findCommand(name);
    if (!command)
        return usageError(io, QString("unknown command '%1'").arg(name), "fwtool --help");
    if (words.first() == "help")
        return runCommand(*command, {arguments.first(), name, "--help"}, io);
    return runCommand(*command, arguments, io);
}

} // namespace fwtool
