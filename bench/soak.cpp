// An hour of traffic compressed: millions of lines, unpaced, first into the log and then into
// a stream file, through the real polling loop. Prints lines lost, resident memory at the
// start, middle and end, and CPU per line.

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr qint64 LineBytes = 10; // "L0000001" and CR LF

QByteArray lineText(long long i)
{
    return "L" + QByteArray::number(i).rightJustified(7, '0') + "\r\n";
}

// Writes `count` lines to the instrument's side in large blocks, as fast as the line takes them.
void sendLines(PseudoTerminal& line, long long count)
{
    QByteArray block;
    for (long long i = 0; i < count; ++i) {
        block += lineText(i);
        if (block.size() >= 64 * 1024 || i + 1 == count) {
            line.write(block);
            block.clear();
        }
    }
}

struct Phase {
    long long received = 0;
    double seconds = 0;
    double cpu = 0;
    size_t residentStart = 0;
    size_t residentMiddle = 0;
    size_t residentEnd = 0;
    size_t heapStart = 0; // heap in use: live data, without memory freed but kept by malloc
    size_t heapMiddle = 0;
    size_t heapEnd = 0;
};

// Sends the lines and follows `progress` (lines arrived so far) until all have arrived or
// nothing has moved for 10 s.
Phase run(PseudoTerminal& line, long long count, const std::function<long long()>& progress)
{
    Phase phase;
    phase.residentStart = bench::residentBytes();
    phase.heapStart = bench::heapInUse();
    const double cpuStart = bench::cpuSeconds();
    const Clock::time_point start = Clock::now();
    std::thread instrument([&] { sendLines(line, count); });
    long long last = -1;
    Clock::time_point lastMove = Clock::now();
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long long now = progress();
        if (phase.residentMiddle == 0 && now >= count / 2) {
            phase.residentMiddle = bench::residentBytes();
            phase.heapMiddle = bench::heapInUse();
        }
        if (now != last)
            lastMove = Clock::now();
        last = now;
        if (now >= count || Clock::now() - lastMove > std::chrono::seconds(10))
            break;
    }
    instrument.join();
    phase.received = last;
    phase.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    phase.cpu = bench::cpuSeconds() - cpuStart;
    phase.residentEnd = bench::residentBytes();
    phase.heapEnd = bench::heapInUse();
    return phase;
}

void print(const char* name, long long sent, long long correct, const Phase& phase)
{
    const double mb = 1e6;
    std::printf("%s\n", name);
    std::printf("  sent %lld, arrived intact %lld, lost %lld (goal 0) in %.1f s (%.0f lines/s)\n",
                sent, correct, sent - correct, phase.seconds,
                double(phase.received) / phase.seconds);
    const double lines = double(std::max(1LL, phase.received));
    std::printf(
        "  resident: start %.1f MB, middle %.1f MB, end %.1f MB; growth %.1f bytes per line\n",
        double(phase.residentStart) / mb, double(phase.residentMiddle) / mb,
        double(phase.residentEnd) / mb,
        (double(phase.residentEnd) - double(phase.residentStart)) / lines);
    std::printf(
        "  heap in use: start %.1f MB, middle %.1f MB, end %.1f MB; growth %.1f bytes per line\n",
        double(phase.heapStart) / mb, double(phase.heapMiddle) / mb, double(phase.heapEnd) / mb,
        (double(phase.heapEnd) - double(phase.heapStart)) / lines);
    std::printf("  CPU %.1f s, %.1f us per line\n\n", phase.cpu, phase.cpu * 1e6 / lines);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long long lines = argc > 1 ? std::atoll(argv[1]) : 5000000;

    TerminalBench bench;
    frmMain& w = bench.w;
    PseudoTerminal& line = *bench.line;
    w.cboBaudRate->setCurrentText(QStringLiteral("115200"));
    QTemporaryDir dir;
    const QString streamPath = dir.filePath("stream.txt");

    std::printf("Soak: %lld lines of %lld bytes, unpaced, through the polling loop\n", lines,
                LineBytes);
    std::printf("(the middle figures include what the instrument sent and the loop has not read "
                "yet)\n\n");
    runScenario(w, [&] {
        bench.connect();

        const Phase log = run(line, lines, [&] { return (long long)logRowCount(w); });
        const long long intactRows = onGui([&] {
            long long intact = 0;
            for (int row = 1; row <= w.lstResponse->Count(); ++row)
                intact += w.lstResponse->model().cell(row - 1, 1) ==
                          QLatin1String(lineText(row - 1).chopped(2));
            return intact;
        });
        print("Into the log:", lines, intactRows, log);

        bench.streamTo(streamPath);
        const Phase stream =
            run(line, lines, [&] { return QFileInfo(streamPath).size() / LineBytes; });
        long long intactLines = 0;
        QFile file(streamPath);
        if (file.open(QIODevice::ReadOnly)) {
            long long i = 0;
            while (!file.atEnd())
                intactLines += file.readLine() == lineText(i++);
        }
        print("Into a stream file (open, append, close per line):", lines, intactLines, stream);
        bench.disconnect();
    });
    for (const ShownMessage& message : bench.messages.all())
        std::printf("message: %s: %s\n", qPrintable(message.title), qPrintable(message.text));
    return 0;
}
