#include "CommandLine.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine line;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.help = true;
        } else if (argument == QLatin1String("--run") ||
                   argument.startsWith(QLatin1String("--run="))) {
            QString file;
            if (argument == QLatin1String("--run")) {
                if (i + 1 >= arguments.size()) {
                    line.error = QStringLiteral("--run needs the run definition file after it.");
                    return line;
                }
                file = arguments[++i];
            } else {
                file = argument.mid(6);
            }
            if (!line.runFile.isEmpty()) {
                line.error = QStringLiteral("--run can be given only once.");
                return line;
            }
            if (file.isEmpty()) {
                line.error = QStringLiteral("--run needs the run definition file after it.");
                return line;
            }
            line.runFile = file;
        } else {
            line.error =
                QStringLiteral("\"%1\" is not an argument that bvterm knows.").arg(argument);
            return line;
        }
    }
    return line;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: bvterm [--run FILE]\n"
        "The Baroventis\u00ae Terminal: a serial terminal for laboratory instruments.\n"
        "\n"
        "  --run FILE   set the port, the rate and the reply time-out from the run\n"
        "               definition FILE (saved from the Measurement Run window), connect,\n"
        "               and start the measurement run it defines\n"
        "  --help       print this help and exit\n"
        "\n"
        "Qt's own options, such as -platform or -style, are taken as well.\n");
}

void tellUser(const QString& text, bool error)
{
#ifdef Q_OS_WIN
    // A program built for the window subsystem has no console; its standard handles are valid
    // only when the caller redirected them.
    // A console takes the text as it is; a file or a pipe gets UTF-8.
    HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
        GetFileType(handle) != FILE_TYPE_UNKNOWN) {
        DWORD mode = 0;
        DWORD written = 0;
        if (GetConsoleMode(handle, &mode)) {
            const std::wstring wide = text.toStdWString();
            WriteConsoleW(handle, wide.c_str(), DWORD(wide.size()), &written, nullptr);
        } else {
            const QByteArray bytes = text.toUtf8();
            WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
        }
        return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const std::wstring wide =
                QString(text).replace(QLatin1String("\n"), QLatin1String("\r\n")).toStdWString();
            DWORD written = 0;
            WriteConsoleW(console, wide.c_str(), DWORD(wide.size()), &written, nullptr);
            CloseHandle(console);
            FreeConsole();
            return;
        }
        FreeConsole();
    }
    MessageBoxW(nullptr, text.toStdWString().c_str(), L"BVTerm",
                MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
#else
    std::FILE* stream = error ? stderr : stdout;
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
#endif
}
