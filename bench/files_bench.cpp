// Streaming reply lines to a file through the real polling loop (one open, append and close
// per line), and saving a log of a million rows.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 StreamLineBytes = 14; // "L000123=1.25" and CR LF

// Lines in the stream file, from its size: every line has the same length, and the check must
// cost next to nothing so that the CPU figure is the terminal's.
qint64 countLines(const QString& path)
{
    return QFileInfo(path).size() / StreamLineBytes;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int streamLines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int savedRows = argc > 2 ? std::atoi(argv[2]) : 1000000;

    TerminalBench bench;
    frmMain& w = bench.w;
    PseudoTerminal& line = *bench.line;
    w.cboBaudRate->setCurrentText(QStringLiteral("115200"));
    QTemporaryDir dir;
    const QString streamPath = dir.filePath("stream.txt");
    const QString savePath = dir.filePath("saved.txt");
    bench.streamTo(streamPath);
    auto infos = [&bench] {
        int count = 0;
        for (const ShownMessage& message : bench.messages.all())
            count += message.title == QLatin1String("Info");
        return count;
    };

    runScenario(w, [&] {
        // Streaming: 12-character lines, unpaced.
        bench.connect();
        QByteArray burst;
        for (int i = 0; i < streamLines; ++i)
            burst += "L" + QByteArray::number(i).rightJustified(6, '0') + "=1.25\r\n";
        const double cpuBefore = bench::cpuSeconds();
        const Clock::time_point start = Clock::now();
        std::thread instrument([&] { line.write(burst); });
        qint64 written = 0;
        int idleChecks = 0;
        while (written < streamLines && idleChecks < 500) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const qint64 now = countLines(streamPath);
            idleChecks = now == written ? idleChecks + 1 : 0;
            written = now;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = bench::cpuSeconds() - cpuBefore;
        instrument.join();
        bench.disconnect();
        const double needed = 10.0 * 115200.0 / 10.0 / 14.0; // 12 characters and CR LF a line
        std::printf("Streaming %d lines of 12 characters through the polling loop:\n", streamLines);
        std::printf("  %lld lines in the file (lost %lld) in %.2f s: %.0f lines/s (goal: at least "
                    "%.0f, ten times 115200 baud)\n",
                    written, streamLines - written, seconds, double(written) / seconds, needed);
        std::printf("  CPU %.2f s, %.1f us per line\n\n", cpu, cpu * 1e6 / double(written));

        // Saving: a log of a million rows, command and reply rows in turn.
        onGui([&] {
            w.cmdClear->click();
            ResponseListView* log = w.lstResponse;
            for (int i = 0; i < savedRows; ++i) {
                if (i % 2 == 0)
                    log->AddRow(QStringLiteral("MEAS:VOLT?"));
                else
                    log->SetResponse(log->AddRow(QStringLiteral("03/25/2026 14:07:09.045")),
                                     QStringLiteral("+1.234E+01"));
            }
            w.cmdSave->setEnabled(true);
        });
        const size_t residentBefore = bench::residentBytes();
        const size_t peakBefore = bench::peakResidentBytes();
        postToGui([&] { w.cmdSave->click(); });
        waitForFileDialog();
        const Clock::time_point saveStart = Clock::now();
        answerFileDialog(savePath);
        waitUntil([&] { return infos() == 1; }, 60000);
        const double saveSeconds = std::chrono::duration<double>(Clock::now() - saveStart).count();
        const size_t peakAfter = bench::peakResidentBytes();
        std::printf("Saving a log of %d rows: %.2f s (goal: under 2 s), %.1f MB written\n",
                    savedRows, saveSeconds, double(QFile(savePath).size()) / 1e6);
        std::printf("  resident before saving %.1f MB, peak while saving %.1f MB (%.1f MB more)\n",
                    double(residentBefore) / 1e6, double(std::max(peakAfter, peakBefore)) / 1e6,
                    double(peakAfter > residentBefore ? peakAfter - residentBefore : 0) / 1e6);
    });
    for (const ShownMessage& message : bench.messages.all())
        if (message.title != QLatin1String("Info"))
            std::printf("message: %s: %s\n", qPrintable(message.title), qPrintable(message.text));
    return 0;
}
