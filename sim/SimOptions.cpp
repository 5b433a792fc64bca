#include "SimOptions.h"

#include "InstrumentModel.h"
#include "serial/PortNames.h"

namespace {

bool readNumber(const QStringList& arguments, int& index, int minimum, int maximum, int* value,
                QString* error)
{
    const QString option = arguments[index];
    if (index + 1 >= arguments.size()) {
        *error = QStringLiteral("%1 needs a number").arg(option);
        return false;
    }
    bool ok = false;
    const int number = arguments[++index].toInt(&ok);
    if (!ok || number < minimum || number > maximum) {
        *error = QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"")
                     .arg(option)
                     .arg(minimum)
                     .arg(maximum)
                     .arg(arguments[index]);
        return false;
    }
    *value = number;
    return true;
}

} // namespace

bool parseSimOptions(const QStringList& arguments, SimOptions* options, QString* error)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        int seed = 0;
        bool ok = true;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options->help = true;
        } else if (argument == QLatin1String("--com")) {
            ok = readNumber(arguments, i, 1, PortNames::PortCount, &options->com, error);
        } else if (argument == QLatin1String("--talk")) {
            ok = readNumber(arguments, i, 1, 3600000, &options->talkMs, error);
        } else if (argument == QLatin1String("--delay")) {
            ok = readNumber(arguments, i, 0, 3600000, &options->delayMs, error);
        } else if (argument == QLatin1String("--stall")) {
            ok = readNumber(arguments, i, 0, 3600000, &options->stallMs, error);
        } else if (argument == QLatin1String("--seed")) {
            ok = readNumber(arguments, i, 0, 2147483647, &seed, error);
            options->seed = unsigned(seed);
        } else if (argument == QLatin1String("--line-end")) {
            const QString ending = i + 1 < arguments.size() ? arguments[++i].toLower() : QString();
            if (ending == QLatin1String("lf")) {
                options->lineFeedOnly = true;
            } else if (ending == QLatin1String("crlf")) {
                options->lineFeedOnly = false;
            } else {
                *error = QStringLiteral("--line-end takes crlf or lf");
                ok = false;
            }
        } else {
            *error = QStringLiteral("unknown option \"%1\" (see --help)").arg(argument);
            ok = false;
        }
        if (!ok)
            return false;
    }
    return true;
}

QString simUsage()
{
    QString text =
        QStringLiteral(
            "Usage: bvterm-sim [options]\n"
            "\n"
            "Plays a laboratory instrument on a pseudo-terminal and publishes it as a port of the\n"
            "terminal: the alias comN in $XDG_RUNTIME_DIR/bvterm/ports, a folder that vanishes "
            "with\n"
            "the login session; without XDG_RUNTIME_DIR in /tmp/bvterm-UID/ports (UID: your user\n"
            "number), made for you alone and refused when someone else owns it or may write to "
            "it.\n"
            "Here that is %1.\n"
            "The terminal looks there first, then among your own aliases, so choosing that port "
            "and\n"
            "pressing Connect talks to the simulator. The alias is removed again when the "
            "simulator\n"
            "ends (Ctrl+C); one left behind by a simulator that was killed is replaced.\n"
            "\n"
            "The simulator never touches your own aliases (%2): when you have one\n"
            "for COM N, or another simulator runs as COM N, it says so, suggests a free COM "
            "number\n"
            "and exits with status 3. What it receives is logged on standard error. Replies that\n"
            "nobody reads are lost once the line's buffer is full, as with a real instrument.\n"
            "\n")
            .arg(PortNames::simulatorFolder(), PortNames::aliasFolder());
    text += QStringLiteral(
        "Options:\n"
        "  --com N          publish as COM N, 1 to 12 (default 5)\n"
        "  --talk MS        send an unsolicited reading every MS milliseconds\n"
        "  --delay MS       wait MS milliseconds before each reply\n"
        "  --stall MS       send each reply line in two halves, MS milliseconds apart\n"
        "                   (longer than the terminal's time-out shows the time-out)\n"
        "  --line-end E     end lines with crlf (default) or lf\n"
        "  --seed N         seed of the simulated readings (default 1)\n"
        "  --help           show this text\n"
        "\n"
        "Commands (upper or lower case, each ended by CR LF or LF):\n");
    for (const QString& line : InstrumentModel::commandHelp())
        text += QStringLiteral("  ") + line + QLatin1Char('\n');
    text += QStringLiteral("  anything else gets \"ERROR: unknown command ...\"\n"
                           "\n"
                           "Exit status: 0 after Ctrl+C or SIGTERM, 1 when the simulator cannot\n"
                           "start, 2 for a mistake in the options, 3 when COM N is taken.\n");
    return text;
}
