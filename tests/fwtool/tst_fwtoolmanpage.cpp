// fwtool(1) against what the real executable says of itself: the same commands, each
// scope's options (the tool's own and every command's) and the same exit codes.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

class TestFwtoolManPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands();
    void options_data();
    void options();
    void exitCodes();

private:
    QStringList page;
};

namespace {

QString helpOf(const QStringList &arguments)
{
    QProcess tool;
    tool.start(FWTOOL, arguments);
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return QString();
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// The lines of a page section (".SH NAME") or subsection (".SS name") up to the next
// heading of the same or a higher level.
QStringList section(const QStringList &page, const QString &heading)
{
    QStringList lines;
    bool inside = false;
    for (const QString &line : page) {
        if (line == heading) {
            inside = true;
            continue;
        }
        if (inside &&
            (line.startsWith(".SH ") || (heading.startsWith(".SS ") && line.startsWith(".SS "))))
            break;
        if (inside)
            lines << line;
    }
    return lines;
}

// The options a page section describes: the tag line after each ".TP".
QSet<QString> pageOptions(const QStringList &lines)
{
    static const QRegularExpression option(R"(\\-\\-([a-z][a-z\\-]*))");
    QSet<QString> names;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines.at(i) != ".TP")
            continue;
        auto match = option.globalMatch(lines.at(i + 1));
        while (match.hasNext())
            names << match.next().captured(1).remove('\\');
    }
    return names;
}

// The options a help text lists: its lines that start with a dash after the indent.
QSet<QString> helpOptions(const QString &help)
{
    static const QRegularExpression line(R"(^\s+(?:-\w, )?--([a-z][a-z-]*))",
                                         QRegularExpression::MultilineOption);
    QSet<QString> names;
    auto match = line.globalMatch(help);
    while (match.hasNext())
        names << match.next().captured(1);
    return names;
}

// The commands of `fwtool --help`: the first word of each line under "Commands:".
QStringList helpCommands(const QString &help)
{
    const QString list = help.section("Commands:\n", 1).section("\n\n", 0, 0);
    QStringList names;
    for (const QString &line : list.split('\n', Qt::SkipEmptyParts))
        names << line.simplified().section(' ', 0, 0);
    return names;
}

// "Exit codes: 0 done, 1 ..., 10 + N update error N, ..." as {"0", "1", "10 + N"};
// numbers inside parentheses are not codes.
QSet<QString> helpExitCodes(const QString &help)
{
    QString text = help.section("Exit codes:", 1).section("\n\n", 0, 0).simplified();
    text.remove(QRegularExpression(R"(\([^)]*\))"));
    static const QRegularExpression code(R"(^(\d+(?: \+ N)?) )");
    QSet<QString> codes;
    for (const QString &piece : text.split(',')) {
        const auto match = code.match(piece.trimmed());
        if (match.hasMatch())
            codes << match.captured(1);
    }
    return codes;
}

// Sorted, so that a failed comparison prints both sides.
QStringList sorted(const QSet<QString> &set)
{
    QStringList list = set.values();
    list.sort();
    return list;
}

} // namespace

void TestFwtoolManPage::initTestCase()
{
    QFile file(FWTOOL_MANPAGE);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    page = QString::fromUtf8(file.readAll()).split('\n');
}

void TestFwtoolManPage::commands()
{
    const QString help = helpOf({"--help"});
    QVERIFY(!help.isEmpty());
    QStringList described;
    for (const QString &line : section(page, ".SH COMMANDS")) {
        if (line.startsWith(".SS "))
            described << line.mid(4);
    }
    QCOMPARE(described, helpCommands(help));
}

void TestFwtoolManPage::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("heading");
    QTest::newRow("fwtool") << QStringList{"--help"} << ".SH OPTIONS";
    for (const QString &command : helpCommands(helpOf({"--help"}))) {
        if (command != "help")
            QTest::newRow(qPrintable(command))
                << QStringList{command, "--help"} << ".SS " + command;
    }
}

void TestFwtoolManPage::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, heading);
    const QString help = helpOf(arguments);
    QVERIFY(!help.isEmpty());
    QSet<QString> described = pageOptions(section(page, heading));
    QVERIFY2(!described.isEmpty(), qPrintable(heading));
    QCOMPARE(sorted(described), sorted(helpOptions(help)));
}

void TestFwtoolManPage::exitCodes()
{
    QSet<QString> told = helpExitCodes(helpOf({"--help"}));
    for (const QString &command : helpCommands(helpOf({"--help"}))) {
        if (command != "help")
            told += helpExitCodes(helpOf({command, "--help"}));
    }
    QVERIFY(told.contains("130"));
    QSet<QString> described;
    const QStringList lines = section(page, ".SH EXIT STATUS");
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines.at(i) == ".TP" && lines.at(i + 1).startsWith(".B "))
            described << lines.at(i + 1).mid(3);
    }
    QCOMPARE(sorted(described), sorted(told));
}

QTEST_GUILESS_MAIN(TestFwtoolManPage)
#include "tst_fwtoolmanpage.moc"
