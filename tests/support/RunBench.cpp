#include "RunBench.h"

#include "run/RunSession.h"
#include "run/RunWindow.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

QStringList csvFields(const QString& line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"' && quoted && i + 1 < line.size() && line[i + 1] == u'"')
            fields.last() += line[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (c == u',' && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

QStringList csvRows(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression device(QStringLiteral("/dev/pts/[0-9]+"));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    QStringList rows;
    for (const QString& line : lines.mid(1)) {
        QStringList f = csvFields(line);
        if (f.size() != 7)
            continue;
        f[3].replace(device, QStringLiteral("DEVICE"));
        QString row = f[6];
        if (!f[2].isEmpty())
            row += u' ' + f[2];
        if (f[6] == QLatin1String("started") || f[6] == QLatin1String("stopped"))
            row += QStringLiteral(" (%1)").arg(f[3]);
        else if (!f[3].isEmpty())
            row += u'=' + f[3];
        if (!f[4].isEmpty() && f[6] != QLatin1String("ok") && f[6] != QLatin1String("unsolicited"))
            row += u' ' + f[4];
        rows << row;
    }
    return rows;
}

bool startRunFromCommandLine(QProcess& terminal, const QString& program, const QString& folder,
                             const QByteArray& definition)
{
    QFile file(QDir(folder).filePath(QStringLiteral("run.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(definition) != definition.size())
        return false;
    file.close();
    terminal.start(program, {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                             QStringLiteral("--run"), file.fileName()});
    return true;
}

RunBench::RunBench() : run(onGui([this] { return w.runWindow(); })) {}

void RunBench::define(const QString& commands, const QString& every, const QString& timeout,
                      const QString& path)
{
    onGui([&] {
        run->txtCommands->setPlainText(commands);
        run->txtEvery->setText(every);
        run->txtReplyTimeout->setText(timeout);
        run->txtCsvFile->setText(path);
    });
}

void RunBench::pressStart()
{
    postToGui([this] { run->cmdStart->click(); });
}

bool RunBench::running()
{
    return onGui([this] { return w.runSession() && w.runSession()->isRunning(); });
}

bool RunBench::waitForRows(int count)
{
    return waitUntil([&] { return rows().size() >= count; });
}
