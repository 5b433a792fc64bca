// A talking instrument: what the real window costs while an instrument sends a line every so
// often, at 10, 100 and 1000 lines a second, with the chart closed and open.
//
// The bench starts a virtual X display (Xvfb) of its own, and for each trial a fresh window in
// a process of its own on it (this program again, with --window): the accessibility bridge off,
// COM 5 at 115200 baud on a pseudo-terminal, Strip Data on, Time Stamp off, the log empty,
// connected, the focus in the command box. The instrument is a third process that writes a
// 12-byte line ("TEMP_23.45\r\n") at a steady pace for the trial's time. Measured over that
// time: the window process's CPU (user and system, all threads, from /proc/PID/stat, in % of one
// core), the X server's, and the frames the log and the chart drew a second. The settings take
// turns, trial by trial, so that a change in the machine's load touches them all alike.
//
// Usage: paced_bench [seconds a trial, 15] [rounds, 5] [rates, "10,100,1000"]

#include "BenchSupport.h"

#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// ---- The window's side ----------------------------------------------------------------------

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    using QObject::QObject;
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// The terminal as its start-up makes it, set up as the trial needs it. It answers on standard
// output: "ready" once connected; to "r" on standard input it starts counting frames afresh, to
// "q" it prints "frames LOG CHART rows ROWS" and closes the window, which ends the program.
int runWindow(int argc, char** argv, bool withChart)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bvterm"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    frmMain w;
    QObject::connect(&w, &frmMain::programEnded, &app, [] { QCoreApplication::exit(0); });
    if (const QScreen* screen = w.screen()) {
        QRect frame = w.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        w.move(frame.topLeft());
    }
    w.show();
    w.activateWindow(); // no window manager hands out the focus
    w.cboPort->setCurrentIndex(4);
    w.cboBaudRate->setCurrentText(QStringLiteral("115200"));
    w.chkStrip->setChecked(true);
    w.chkTimeStamp->setChecked(false);

    PaintCounter logPaints;
    w.lstResponse->viewport()->installEventFilter(&logPaints);
    int chartPaints = 0;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &w, [&] {
        char command = 0;
        if (::read(STDIN_FILENO, &command, 1) != 1) {
            input.setEnabled(false);
            command = 'q';
        }
        if (command == 'r') {
            logPaints.count = 0;
            chartPaints = 0;
        } else if (command == 'q') {
            std::printf("frames %d %d rows %d\n", logPaints.count, chartPaints,
                        w.lstResponse->Count());
            std::fflush(stdout);
            w.close();
        }
    });
    QTimer::singleShot(200, &w, [&] {
        if (withChart) {
            w.mnuChart->trigger();
            if (ChartWindow* chart = w.chartWindow())
                QObject::connect(chart, &ChartWindow::painted, &w, [&] { ++chartPaints; });
            w.activateWindow();
        }
        QTimer::singleShot(200, &w, [&] {
            w.txtcmd->setFocus();
            std::printf("ready\n");
            std::fflush(stdout);
        });
        // The polling loop runs inside the click until the window closes.
        w.cmdConnect->click();
    });
    return app.exec();
}

// ---- The bench's side -----------------------------------------------------------------------

// User and system time of a process, all its threads, in seconds.
double processCpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// A virtual X display of its own, on the first free number from 90.
class VirtualDisplay {
public:
    bool start()
    {
        for (int number = 90; number < 140; ++number) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            m_server.start(QStringLiteral("Xvfb"),
                           {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            if (!m_server.waitForStarted())
                return false;
            for (int i = 0; i < 100 && m_server.state() == QProcess::Running; ++i) {
                if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) {
                    m_name = QStringLiteral(":%1").arg(number);
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            m_server.kill();
            m_server.waitForFinished();
        }
        return false;
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished();
    }
    QString name() const { return m_name; }
    qint64 pid() const { return m_server.processId(); }

private:
    QProcess m_server;
    QString m_name;
};

// The lines an instrument sends in `seconds` at `rate` lines a second: a temperature that
// wanders between 10 and 30, 12 bytes a line.
std::vector<QByteArray> instrumentLines(int rate, double seconds)
{
    std::vector<QByteArray> lines;
    const int count = int(std::lround(rate * seconds));
    for (int i = 0; i < count; ++i) {
        const double value = 20 + 9.99 * std::sin(i / 50.0);
        lines.push_back(QByteArray("TEMP_") + QByteArray::number(value, 'f', 2) + "\r\n");
    }
    return lines;
}

struct Trial {
    double cpuPercent = 0;
    double xPercent = 0;
    double logFrames = 0;   // a second
    double chartFrames = 0; // a second
    int sent = 0;
    int rows = 0;
    bool ok = false;
};

Trial runTrial(const QString& display, qint64 xPid, PortAliases& aliases, int rate, double seconds,
               bool withChart)
{
    Trial trial;
    PseudoTerminal line;
    aliases.point(5, line.slavePath());
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // No session bus, so no accessibility bridge either.
    environment.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    window.setProcessEnvironment(environment);
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--window")};
    if (withChart)
        arguments << QStringLiteral("--chart");
    window.start(QCoreApplication::applicationFilePath(), arguments);
    if (!window.waitForStarted() || !window.waitForReadyRead(10000) ||
        !window.readLine().startsWith("ready")) {
        std::printf("the window did not start\n");
        window.kill();
        window.waitForFinished();
        return trial;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    const std::vector<QByteArray> lines = instrumentLines(rate, seconds);
    const auto period = std::chrono::nanoseconds(1000000000LL / rate);
    bench::WriterProcess instrument([&] {
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < lines.size(); ++i) {
            std::this_thread::sleep_until(start + period * i);
            line.write(lines[i]);
        }
        std::this_thread::sleep_until(start + period * lines.size());
    });
    window.write("r");
    window.waitForBytesWritten();
    const double cpuBefore = processCpuSeconds(window.processId());
    const double xBefore = processCpuSeconds(xPid);
    const Clock::time_point start = Clock::now();
    instrument.go();
    instrument.finish();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = processCpuSeconds(window.processId()) - cpuBefore;
    const double x = processCpuSeconds(xPid) - xBefore;
    // The rows are counted once the window has had time to take the last lines in.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    window.write("q");
    window.waitForBytesWritten();
    QByteArray answer;
    for (int i = 0; i < 50 && !answer.contains('\n'); ++i) {
        window.waitForReadyRead(100);
        answer += window.readAll();
    }
    if (!window.waitForFinished(5000)) {
        window.kill();
        window.waitForFinished();
    }
    int logFrames = 0;
    int chartFrames = 0;
    if (std::sscanf(answer.constData(), "frames %d %d rows %d", &logFrames, &chartFrames,
                    &trial.rows) != 3) {
        std::printf("the window did not answer\n");
        return trial;
    }
    trial.sent = int(lines.size());
    trial.cpuPercent = 100 * cpu / wall;
    trial.xPercent = 100 * x / wall;
    trial.logFrames = logFrames / wall;
    trial.chartFrames = chartFrames / wall;
    trial.ok = true;
    return trial;
}

struct Spread {
    double median = 0;
    double least = 0;
    double most = 0;
};

Spread spread(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

QString shown(const Spread& s, int decimals)
{
    return QStringLiteral("%1 (%2-%3)")
        .arg(s.median, 0, 'f', decimals)
        .arg(s.least, 0, 'f', decimals)
        .arg(s.most, 0, 'f', decimals);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--window") == 0)
        return runWindow(argc, argv, argc > 2 && qstrcmp(argv[2], "--chart") == 0);

    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 15.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<int> rates;
    for (const QString& rate :
         QString::fromLatin1(argc > 3 ? argv[3] : "10,100,1000").split(QLatin1Char(',')))
        rates.push_back(std::max(1, rate.toInt()));

    VirtualDisplay display;
    if (!display.start()) {
        std::printf("no virtual X display could be started (is Xvfb installed?)\n");
        return 1;
    }
    PortAliases aliases;
    std::printf("A talking instrument, 12-byte lines for %.0f s a trial, %d rounds; Strip Data "
                "on, Time Stamp off\n",
                seconds, rounds);
    std::printf("CPU in %% of one core (median, least-most); frames drawn a second\n\n");
    std::fflush(stdout);

    // By rate, then chart closed (0) and open (1).
    std::vector<std::vector<std::vector<Trial>>> trials(rates.size(),
                                                        std::vector<std::vector<Trial>>(2));
    for (int round = 0; round < rounds; ++round) {
        for (size_t r = 0; r < rates.size(); ++r) {
            for (int chart = 0; chart < 2; ++chart) {
                const Trial trial =
                    runTrial(display.name(), display.pid(), aliases, rates[r], seconds, chart == 1);
                if (trial.ok && trial.rows != trial.sent)
                    std::printf("  %d lines/s, chart %s: %d lines sent, %d rows\n", rates[r],
                                chart ? "open" : "closed", trial.sent, trial.rows);
                if (trial.ok)
                    trials[r][size_t(chart)].push_back(trial);
            }
        }
    }

    std::printf("%10s  %-6s  %-22s  %-20s  %-20s  %-20s\n", "lines/s", "chart", "terminal CPU %",
                "X server CPU %", "log frames/s", "chart frames/s");
    for (size_t r = 0; r < rates.size(); ++r) {
        for (int chart = 0; chart < 2; ++chart) {
            std::vector<double> cpu, x, logFrames, chartFrames;
            for (const Trial& trial : trials[r][size_t(chart)]) {
                cpu.push_back(trial.cpuPercent);
                x.push_back(trial.xPercent);
                logFrames.push_back(trial.logFrames);
                chartFrames.push_back(trial.chartFrames);
            }
            std::printf("%10d  %-6s  %-22s  %-20s  %-20s  %-20s\n", rates[r],
                        chart ? "open" : "closed", qPrintable(shown(spread(cpu), 2)),
                        qPrintable(shown(spread(x), 2)), qPrintable(shown(spread(logFrames), 1)),
                        chart ? qPrintable(shown(spread(chartFrames), 1)) : "");
        }
    }
    return 0;
}
