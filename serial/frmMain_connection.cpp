#include "app/Captions.h"
#include "app/Defaults.h"
#include "app/UpDown.h"
#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "run/RunSession.h"
#include "serial/PortNames.h"
#include "serial/SerialPortControl.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>

#include <cmath>
#include <limits>

void frmMain::cmdConnect_Click()
{
    // A window that is closing opens nothing again (a reconnect may still be queued).
    if (State.Unloading)
        return;
    const QString caption = cmdConnect->text();
    bool opened = false;
    try {
        if (caption == kConnectCaption) {
            connectSequence();
            opened = true;
        } else if (caption == kDisconnectCaption) {
            disconnectSequence();
        }
    } catch (const PortError& failure) {
        // A run waiting for this connect does not start; unattended, nothing waits for a click.
        const bool quiet = m_runSession && m_runUnattended && !m_runSession->hasBegun();
        failPendingRun(failure.description());
        if (!quiet)
            showMessage(QMessageBox::Warning, QStringLiteral("Communication Error"),
                        failure.description());
        if (m_runSession && m_runSession->isLinkDown())
            m_runSession->keepReconnecting(true);
        cmdConnect->setText(kConnectCaption);
        cmdSend->setEnabled(false);
        txtcmd->setEditText(kCommandPrompt);
        txtcmd->setEnabled(false);
        // The log stays available after a failed connect, as after a disconnect.
        const bool hasRows = lstResponse->Count() > 0;
        cmdSave->setEnabled(hasRows);
        cmdClear->setEnabled(hasRows);
        return;
    }
    if (opened) {
        beginPendingRun();
        if (m_runSession && m_runSession->isLinkDown())
            m_runSession->linkResumed();
        StartCheckingPort();
    }
}

void frmMain::connectSequence()
{
    cmdConnect->setText(kDisconnectCaption);
    cmdSend->setEnabled(true);
    cmdSave->setEnabled(false);
    cmdClear->setEnabled(false);
    txtcmd->setEditText(QString());
    txtcmd->setEnabled(true);
    ComPort->setCommPort(PortNames::portNumberOf(cboPort->currentText()));
    ComPort->setSettings(cboBaudRate->currentText() + kLineFraming);
    ComPort->setPortOpen(true);
    ComPort->setInputLen(1);
    State.CheckingPort = true;
    txtcmd->setFocus();
}

void frmMain::disconnectSequence()
{
    // A run whose device went away waits to reconnect; any other disconnect ends it.
    if (!m_runSession || !m_runSession->isLinkDown())
        endRun(RunEnd::Disconnected);
    cmdConnect->setText(kConnectCaption);
    cmdSend->setEnabled(false);
    txtcmd->setEditText(kCommandPromptAfterDisconnect);
    txtcmd->setEnabled(false);
    State.CheckingPort = false;
    if (ComPort->PortOpen())
        ComPort->setPortOpen(false);
    // Whatever comes next comes over another connection (a Disconnect, a lost device, a change
    // of port or rate): the chart does not join the readings across the gap.
    lstResponse->model().markBreak();
    if (lstResponse->Count() > 0) {
        cmdSave->setEnabled(true);
        cmdClear->setEnabled(true);
    }
}

void frmMain::queueConnectPress()
{
    // Runs after the current handler has returned, in the order queued, like a key press
    // on the focused Connect button.
    QMetaObject::invokeMethod(this, &frmMain::cmdConnect_Click, Qt::QueuedConnection);
}

void frmMain::reconnectIfConnected()
{
    if (cmdConnect->text() != kDisconnectCaption)
        return;
    endRun(RunEnd::PortOrRateChanged);
    // Disconnect, then connect with the new choice.
    cmdConnect->setFocus();
    queueConnectPress();
    cmdConnect->setFocus();
    queueConnectPress();
}

void frmMain::cboPort_Click()
{
    // A run that waits to reconnect ends too: it was made for the port and rate it had.
    if (m_runSession && m_runSession->isLinkDown())
        endRun(RunEnd::PortOrRateChanged);
    reconnectIfConnected();
}

void frmMain::cboBaudRate_Click()
{
    if (m_runSession && m_runSession->isLinkDown())
        endRun(RunEnd::PortOrRateChanged);
    reconnectIfConnected();
}

void frmMain::spnTimeout_Change()
{
    bool ok = false;
    const float seconds = QLocale().toFloat(txtTimeout->text(), &ok);
    // The box only ever holds the spinner's value; anything else leaves the time-out as it is.
    if (!ok || !(std::fabs(seconds) <= std::numeric_limits<qint16>::max()))
        return;
    State.TimeoutSeconds = static_cast<qint16>(std::nearbyint(seconds));
}

QString frmMain::portToolTip() const
{
    const int number = PortNames::portNumberOf(cboPort->currentText());
    return number == 0 ? QString() : PortNames::explain(number);
}

QStringList frmMain::systemPorts() const
{
    return m_portSource ? m_portSource() : PortNames::systemPorts();
}

void frmMain::refreshPortList()
{
    // Ports come and go (a USB adapter is plugged in): the list is read afresh as it opens.
    const QString selected = cboPort->currentText();
    QStringList entries;
    for (const int n : PortNames::listedPorts(systemPorts(), PortNames::portNumberOf(selected)))
        entries << QStringLiteral("COM %1").arg(n);
    QStringList listed;
    for (int i = 0; i < cboPort->count(); ++i)
        listed << cboPort->itemText(i);
    if (entries == listed)
        return;
    // The same port stays chosen, and nothing reconnects: its handler does not run.
    const QSignalBlocker quiet(cboPort);
    cboPort->clear();
    cboPort->addItems(entries);
    cboPort->setCurrentIndex(int(entries.indexOf(selected)));
}
