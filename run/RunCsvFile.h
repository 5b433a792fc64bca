#pragma once

#include <QByteArray>
#include <QString>

// A measurement run's CSV file, held open for the run and only ever appended to: every append
// is handed to the operating system at once, and sync() puts what was written on the disk.
// Others may read the file meanwhile but not write it (by the share mode on Windows, by an
// advisory lock elsewhere). Only regular files are taken.
class RunCsvFile {
public:
    RunCsvFile() = default;
    ~RunCsvFile();
    RunCsvFile(const RunCsvFile&) = delete;
    RunCsvFile& operator=(const RunCsvFile&) = delete;

    // Opens the file for appending, creating it when it does not exist. "" or what is wrong,
    // in a sentence that names the file.
    QString open(const QString& path);
    bool isOpen() const;
    QString path() const { return m_path; }
    // Whether the last open made the file.
    bool isNew() const { return m_created; }
    // Makes the file ready for a run's rows: the byte order mark and the header line when it is
    // empty, otherwise a line end when its last line has none. "" or the reason it failed.
    QString begin(const QByteArray& header);
    // Appends the bytes. A write that fails part-way is cut back, so that the file never ends
    // in half a row. "" or the reason it failed.
    QString append(const QByteArray& bytes);
    // Puts what was written on the disk. "" or the reason it failed.
    QString sync();
    // Whether the path still names the file held open (not removed or replaced meanwhile).
    bool stillAtPath() const;
    void close();
    // Closes the file and removes it again when this open made it and nothing was written.
    void discardIfUnused();

private:
    QString writeAll(const QByteArray& bytes);
    QString lastError() const;

    QString m_path;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    qint64 m_size = 0; // where the next append begins
    bool m_created = false;
    bool m_written = false;
};
