#include "TerminalBench.h"

#include "app/Captions.h"
#include "app/UpDown.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

TerminalBench::TerminalBench()
{
    aliases.point(5, line->slavePath());
    w.cboPort->setCurrentIndex(4);
    w.show();
    w.activateWindow(); // on an X display without a window manager nobody else activates it
    if (!QTest::qWaitForWindowActive(&w))
        qWarning("the window did not become active");
}

bool TerminalBench::connect()
{
    pressConnect(w);
    return waitUntil([this] { return isConnected(w); });
}

bool TerminalBench::disconnect()
{
    postToGui([this] {
        if (w.cmdConnect->text() == kDisconnectCaption)
            w.cmdConnect->click();
    });
    return waitUntil([this] {
        return onGui([this] { return w.cmdConnect->text() == kConnectCaption && !w.isPolling(); });
    });
}

void TerminalBench::setTimeout(int seconds)
{
    onGui([this, seconds] { w.spnTimeout->setValue(seconds); });
}

void TerminalBench::streamTo(const QString& path)
{
    onGui([&] {
        w.state().StreamFileName = path;
        w.state().VisualOutput = false;
        const QSignalBlocker withoutPrompt(w.chkStream);
        w.chkStream->setChecked(true);
    });
}

void TerminalBench::stopStreaming()
{
    onGui([&] {
        w.state().VisualOutput = true;
        const QSignalBlocker withoutNotice(w.chkStream);
        w.chkStream->setChecked(false);
    });
}

void TerminalBench::type(const QString& text, bool enter)
{
    onGui([&] {
        QWidget* box = QApplication::focusWidget();
        // Key clicks carry ASCII only; other characters arrive as typed text does.
        const bool ascii =
            std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii)
            QTest::keyClicks(box, text);
        else
            w.txtcmd->lineEdit()->insert(text);
        if (enter)
            QTest::keyClick(box, Qt::Key_Return);
    });
}

bool TerminalBench::usable()
{
    // Disconnected first, so that the old instrument going away is no fault of the link.
    if (!disconnect())
        return false;
    line = std::make_unique<PseudoTerminal>();
    aliases.point(5, line->slavePath());
    if (!connect())
        return false;
    const int before = logRowCount(w);
    line->write("alive\n");
    if (!waitUntil([&] { return logRowCount(w) == before + 1; }))
        return false;
    onGui([&] { w.txtcmd->lineEdit()->clear(); });
    type(QStringLiteral("PING"), true);
    return line->read(6) == "PING\r\n" && logCell(w, before + 1, 1) == QLatin1String("alive");
}

QStringList TerminalBench::responses()
{
    QStringList all;
    for (int row = 1; row <= logRowCount(w); ++row)
        all << logCell(w, row, 1);
    return all;
}
