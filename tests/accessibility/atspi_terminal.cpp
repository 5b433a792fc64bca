// A connected terminal with an instrument's reply in its log, held open for a screen reader to
// read over the accessibility bus (read_reply.py drives it). The instrument, on a
// pseudo-terminal behind COM 5, answers the command typed into the command box; then the log
// takes the focus with the reply row selected. The program prints "ready" and then obeys the
// lines on its standard input: "up" and "down" press those keys in the log. It ends when its
// input closes; on a failure it prints "failed: ..." and ends with status 1.

#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

const QByteArray kCommand = "*IDN?";
const QByteArray kReply = "12.345";

bool fail(const char* what)
{
    std::printf("failed: %s\n", what);
    std::fflush(stdout);
    return false;
}

bool hold(TerminalBench& bench)
{
    if (!bench.connect())
        return fail("could not connect");
    onGui([&] { bench.w.txtcmd->setFocus(); });
    bench.type(QString::fromLatin1(kCommand), true);
    if (bench.line->readUntil("\r\n") != kCommand + "\r\n")
        return fail("the instrument did not get the command");
    bench.line->write(kReply + "\r\n");
    if (!waitUntil([&] { return logRowCount(bench.w) == 2; }))
        return fail("the reply did not reach the log");
    onGui([&] {
        bench.w.lstResponse->setFocus();
        QTest::keyClick(bench.w.lstResponse, Qt::Key_End);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        const Qt::Key key = line == "up"     ? Qt::Key_Up
                            : line == "down" ? Qt::Key_Down
                                             : Qt::Key_unknown;
        if (key != Qt::Key_unknown)
            onGui([&] { QTest::keyClick(bench.w.lstResponse, key); });
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TerminalBench bench;
    bool held = false;
    runScenario(bench.w, [&] { held = hold(bench); });
    return held ? 0 : 1;
}
