#include "TextFiles.h"

#include "ResponseLogModel.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace {

const QString kLogHeader = QStringLiteral("Baroventis\u00ae Terminal Data Output");

void appendLine(QByteArray& bytes, const QString& text)
{
    bytes += text.toLatin1();
    bytes += "\r\n";
}

// A date or time format without its time-zone part.
QString withoutTimeZone(const QString& format)
{
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.simplified();
}

QString failureText(const QFileDevice& file)
{
    return file.errorString().isEmpty() ? QStringLiteral("unknown error") : file.errorString();
}

} // namespace

QByteArray fileLine(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() + 2);
    appendLine(bytes, text);
    return bytes;
}

QString streamLine(const QString& timeStamp, bool withTimeStamp, const QString& reply)
{
    return withTimeStamp ? timeStamp + QLatin1Char(',') + reply : reply;
}

QString appendLineToFile(const QString& path, const QString& text)
{
    QFile file(path);
    // Appending makes sense for a file; a device or a pipe is simply written to.
    const QFileInfo info(path);
    const bool regular = !info.exists() || info.isFile();
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                     (regular ? QIODevice::Append : QIODevice::NotOpen);
    if (!file.open(mode))
        return failureText(file);
    const qint64 before = regular ? file.size() : 0;
    const QByteArray bytes = fileLine(text);
    // A short write is retried for the rest, which then tells why it failed.
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            break;
        written += count;
    }
    if (written != bytes.size()) {
        const QString reason = failureText(file);
        // A line cut short by a full disk is taken out again: the file holds whole lines only.
        if (regular)
            file.resize(before);
        return reason;
    }
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : failureText(file);
}

QString savedLogDate(const QDateTime& localTime)
{
    const QLocale locale = QLocale::system();
    const QString format = locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') +
                           withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(localTime, format);
}

bool writeSavedLog(QIODevice& out, const QString& dateText, int rowCount,
                   const std::function<LogRow(int row)>& rowAt)
{
    constexpr qsizetype ChunkBytes = 64 * 1024;
    QByteArray chunk;
    chunk.reserve(ChunkBytes + 1024);
    appendLine(chunk, kLogHeader);
    appendLine(chunk, QString());
    appendLine(chunk, QStringLiteral("Date:") + dateText);
    appendLine(chunk, QString());
    for (int i = 1; i <= rowCount; ++i) {
        const LogRow row = rowAt(i);
        chunk += row.Command.toLatin1();
        chunk += ',';
        chunk += row.Response.toLatin1();
        chunk += "\r\n";
        if (chunk.size() >= ChunkBytes) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size();
}

QString writeWholeFile(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A device or a pipe is not a file that can be replaced: write to it directly.
        QFile device(path);
        if (!device.open(QIODevice::WriteOnly))
            return failureText(device);
        if (!write(device) || !device.flush())
            return failureText(device);
        device.close();
        return device.error() == QFileDevice::NoError ? QString() : failureText(device);
    }
    if (info.exists() && (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner)))
        return QStringLiteral("the file is read-only");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failureText(file);
    if (!write(file)) {
        const QString reason = failureText(file);
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return failureText(file);
    return QString();
}
