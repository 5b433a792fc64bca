#include "RunDefinition.h"

#include "app/Defaults.h"
#include "app/Failure.h"
#include "exchange/CommandText.h"
#include "log/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>

#include <map>
#include <optional>

bool RunDefinition::operator==(const RunDefinition& other) const
{
    return port == other.port && baudRate == other.baudRate &&
           timeoutSeconds == other.timeoutSeconds && periodMs == other.periodMs &&
           replyTimeoutMs == other.replyTimeoutMs && cycles == other.cycles &&
           csvFile == other.csvFile && commands == other.commands;
}

bool parseSeconds(QStringView text, bool commaToo, qint64* ms)
{
    qint64 whole = 0;
    qint64 thousandths = 0;
    int decimals = -1; // -1: no decimal point yet
    int digits = 0;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9') {
            ++digits;
            if (decimals < 0) {
                whole = whole * 10 + (c.unicode() - u'0');
                if (whole > 1'000'000'000)
                    return false;
            } else if (++decimals > 3) {
                return false;
            } else {
                thousandths = thousandths * 10 + (c.unicode() - u'0');
            }
        } else if ((c == u'.' || (commaToo && c == u',')) && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    for (int d = std::max(decimals, 0); d < 3; ++d)
        thousandths *= 10;
    *ms = whole * 1000 + thousandths;
    return true;
}

QString secondsText(qint64 ms)
{
    QString text = QString::number(ms / 1000);
    if (const qint64 rest = ms % 1000) {
        QString decimals = QStringLiteral("%1").arg(rest, 3, 10, QLatin1Char('0'));
        while (decimals.endsWith(u'0'))
            decimals.chop(1);
        text += u'.' + decimals;
    }
    return text;
}

QStringList commandLines(const QString& text)
{
    QStringList commands;
    for (const QString& line : text.split(u'\n')) {
        QString command = line;
        if (command.endsWith(u'\r'))
            command.chop(1);
        if (!command.trimmed().isEmpty())
            commands << command;
    }
    return commands;
}

namespace RunDefinitionFile {

namespace {

const char* const kOrderedKeys[] = {"Port",         "BaudRate", "TimeoutSeconds", "Every",
                                    "ReplyTimeout", "Cycles",   "CsvFile"};

QString quoted(const QString& value)
{
    return u'"' + value + u'"';
}

QString ratesText()
{
    QStringList rates;
    for (const char* rate : kRates)
        rates << QString::fromLatin1(rate);
    return rates.join(QStringLiteral(", "));
}

std::optional<qint64> wholeNumber(const QString& value, qint64 low, qint64 high)
{
    if (value.isEmpty() || value.size() > 12)
        return std::nullopt;
    for (QChar c : value)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const qint64 number = value.toLongLong();
    if (number < low || number > high)
        return std::nullopt;
    return number;
}

// What is wrong with a command, or "".
QString commandProblem(const QString& command)
{
    if (command.trimmed().isEmpty())
        return QStringLiteral("a command needs at least one character besides blanks");
    const QStringList unsendable = unsendableCharacters(command);
    if (!unsendable.isEmpty())
        return QStringLiteral("%1 cannot be sent to the instrument, which takes only the "
                              "characters U+0000 to U+00FF (Latin-1)")
            .arg(unsendable.join(QStringLiteral(", ")));
    return QString();
}

} // namespace

QString parse(const QByteArray& bytes, const QString& path, const PortCheck& portOffered,
              RunDefinition* definition)
{
    const QString file = QDir::toNativeSeparators(path);
    const auto keyError = [&](const QString& key, const QString& what) {
        return QStringLiteral("%1: key %2: %3.").arg(file, key, what);
    };
    const auto lineError = [&](int line, const QString& what) {
        return QStringLiteral("%1: line %2: %3.").arg(file).arg(line).arg(what);
    };

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QStringLiteral("%1: the file is not UTF-8 text.").arg(file);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    std::map<QString, QString> values; // by key
    bool inRun = false;
    bool sawRun = false;
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (trimmed != QLatin1String("[Run]"))
                return lineError(i + 1, QStringLiteral("%1 is not the section [Run], the only "
                                                       "one a run definition has")
                                            .arg(trimmed));
            if (sawRun)
                return lineError(i + 1, QStringLiteral("the section [Run] is there twice"));
            inRun = sawRun = true;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return lineError(i + 1, QStringLiteral("%1 is not a line Key=value").arg(quoted(line)));
        const QString key = line.left(equals).trimmed();
        if (!inRun)
            return keyError(key, QStringLiteral("it stands before the section [Run]"));
        if (values.count(key))
            return keyError(key, QStringLiteral("it is given twice"));
        values[key] = line.mid(equals + 1);
    }
    if (!sawRun)
        return QStringLiteral("%1: the section [Run] is missing.").arg(file);

    RunDefinition read;
    for (const auto& [key, value] : values) {
        bool known = false;
        for (const char* name : kOrderedKeys)
            known = known || key == QLatin1String(name);
        if (!known && key.startsWith(QLatin1String("Command"))) {
            const std::optional<qint64> n = wholeNumber(key.mid(7), 1, 1'000'000);
            known = n.has_value() && key.mid(7) == QString::number(*n);
        }
        if (!known)
            return keyError(key, QStringLiteral("unknown key"));
    }
    for (const char* name : kOrderedKeys) {
        const QString key = QString::fromLatin1(name);
        if (!values.count(key))
            return keyError(key, QStringLiteral("missing"));
    }
    const auto value = [&](const char* key) { return values.at(QString::fromLatin1(key)); };

    const std::optional<qint64> port = wholeNumber(value("Port"), 1, 1'000'000);
    if (!port || !portOffered(int(*port)))
        return keyError(QStringLiteral("Port"),
                        QStringLiteral("%1 is not a port that the port list offers")
                            .arg(quoted(value("Port"))));
    read.port = int(*port);

    read.baudRate = value("BaudRate");
    bool rateKnown = false;
    for (const char* rate : kRates)
        rateKnown = rateKnown || read.baudRate == QLatin1String(rate);
    if (!rateKnown)
        return keyError(QStringLiteral("BaudRate"), QStringLiteral("%1 is not one of the rates %2")
                                                        .arg(quoted(read.baudRate), ratesText()));

    const std::optional<qint64> timeout =
        wholeNumber(value("TimeoutSeconds"), MinimumTimeoutSeconds, MaximumTimeoutSeconds);
    if (!timeout)
        return keyError(QStringLiteral("TimeoutSeconds"),
                        QStringLiteral("%1 is not a whole number of seconds from %2 to %3")
                            .arg(quoted(value("TimeoutSeconds")))
                            .arg(MinimumTimeoutSeconds)
                            .arg(MaximumTimeoutSeconds));
    read.timeoutSeconds = int(*timeout);

    if (!parseSeconds(value("Every"), false, &read.periodMs) ||
        read.periodMs < RunDefinition::MinPeriodMs || read.periodMs > RunDefinition::MaxPeriodMs)
        return keyError(QStringLiteral("Every"),
                        QStringLiteral("%1 is not a number of seconds from 0.1 to 86400 with at "
                                       "most three decimals and \".\" as the decimal point")
                            .arg(quoted(value("Every"))));
    if (!parseSeconds(value("ReplyTimeout"), false, &read.replyTimeoutMs) ||
        read.replyTimeoutMs < RunDefinition::MinReplyTimeoutMs ||
        read.replyTimeoutMs > RunDefinition::MaxReplyTimeoutMs)
        return keyError(QStringLiteral("ReplyTimeout"),
                        QStringLiteral("%1 is not a number of seconds from 0.05 to 99 with at "
                                       "most three decimals and \".\" as the decimal point")
                            .arg(quoted(value("ReplyTimeout"))));
    const std::optional<qint64> cycles = wholeNumber(value("Cycles"), 0, RunDefinition::MaxCycles);
    if (!cycles)
        return keyError(QStringLiteral("Cycles"),
                        QStringLiteral("%1 is not a whole number from 0 (until stopped) to "
                                       "1000000000")
                            .arg(quoted(value("Cycles"))));
    read.cycles = *cycles;

    const QString csv = value("CsvFile");
    if (csv.isEmpty())
        return keyError(QStringLiteral("CsvFile"), QStringLiteral("empty"));
    read.csvFile = QDir::toNativeSeparators(QDir::cleanPath(
        QFileInfo(path).absoluteDir().absoluteFilePath(QDir::fromNativeSeparators(csv))));

    for (int n = 1;; ++n) {
        const QString key = QStringLiteral("Command%1").arg(n);
        const auto found = values.find(key);
        if (found == values.end())
            break;
        const QString problem = commandProblem(found->second);
        if (!problem.isEmpty())
            return keyError(key, problem);
        read.commands << found->second;
    }
    const qsizetype commandKeys =
        std::count_if(values.begin(), values.end(), [](const auto& entry) {
            return entry.first.startsWith(QLatin1String("Command"));
        });
    if (read.commands.size() != commandKeys || read.commands.isEmpty())
        return keyError(QStringLiteral("Command%1").arg(read.commands.size() + 1),
                        read.commands.isEmpty() ? QStringLiteral("missing (a run needs at least "
                                                                 "one command)")
                                                : QStringLiteral("missing (commands are "
                                                                 "numbered without gaps)"));
    *definition = read;
    return QString();
}

QString read(const QString& path, const PortCheck& portOffered, RunDefinition* definition)
{
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return QStringLiteral("%1 is not a run definition file: %2.")
            .arg(QDir::toNativeSeparators(path), QFileInfo::exists(path)
                                                     ? QStringLiteral("it is not a regular file")
                                                     : QStringLiteral("it does not exist"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 could not be read: %2.")
            .arg(QDir::toNativeSeparators(path), systemReason(file.errorString()));
    // A definition is a few hundred bytes; anything far larger is not one.
    constexpr qint64 Limit = 16 * 1024 * 1024;
    const QByteArray bytes = file.read(Limit + 1);
    if (bytes.size() > Limit)
        return QStringLiteral("%1 is too large to be a run definition.")
            .arg(QDir::toNativeSeparators(path));
    return parse(bytes, path, portOffered, definition);
}

QByteArray text(const RunDefinition& definition, const QString& folder)
{
    QString csv = QDir::fromNativeSeparators(definition.csvFile);
    const QString relative = QDir(folder).relativeFilePath(csv);
    if (QFileInfo(csv).isAbsolute() && !relative.startsWith(QLatin1String("..")) &&
        !QFileInfo(relative).isAbsolute())
        csv = relative;
    QString out = QStringLiteral("[Run]\r\n");
    const auto line = [&out](const QString& key, const QString& value) {
        out += key + u'=' + value + QLatin1String("\r\n");
    };
    line(QStringLiteral("Port"), QString::number(definition.port));
    line(QStringLiteral("BaudRate"), definition.baudRate);
    line(QStringLiteral("TimeoutSeconds"), QString::number(definition.timeoutSeconds));
    line(QStringLiteral("Every"), secondsText(definition.periodMs));
    line(QStringLiteral("ReplyTimeout"), secondsText(definition.replyTimeoutMs));
    line(QStringLiteral("Cycles"), QString::number(definition.cycles));
    line(QStringLiteral("CsvFile"), QDir::toNativeSeparators(csv));
    for (int i = 0; i < definition.commands.size(); ++i)
        line(QStringLiteral("Command%1").arg(i + 1), definition.commands[i]);
    return out.toUtf8();
}

QString write(const QString& path, const RunDefinition& definition)
{
    const QByteArray bytes = text(definition, QFileInfo(path).absolutePath());
    return writeWholeFile(path,
                          [&bytes](QIODevice& out) { return out.write(bytes) == bytes.size(); });
}

} // namespace RunDefinitionFile
