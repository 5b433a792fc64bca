#pragma once

#include "InstrumentModel.h"
#include "SimOptions.h"
#include "SimulatorAlias.h"
#include "exchange/LineFramer.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

// Exit statuses of the simulator program.
namespace SimExit {
constexpr int Ok = 0;
constexpr int Failure = 1;  // no pseudo-terminal, or the alias could not be made
constexpr int Usage = 2;    // a mistake on the command line
constexpr int ComTaken = 3; // the COM number is the user's alias or another simulator's
} // namespace SimExit

// The simulated instrument on a pseudo-terminal, published as a port alias of the terminal
// for as long as it runs. Like a real instrument it does not keep what nobody takes: once the
// line's buffer is full, the rest of a reply is lost.
class Simulator : public QObject {
    Q_OBJECT
public:
    explicit Simulator(const SimOptions& options, QObject* parent = nullptr);
    ~Simulator() override;

    // Makes the pseudo-terminal and publishes it as COM n (see SimulatorAlias); false with
    // the reason when that fails, and comTaken() then says whether COM n is someone else's.
    bool start(QString* error);
    // Removes the alias (when it still names this simulator's device) and closes the line.
    void stop();

    QString devicePath() const { return m_devicePath; }
    QString aliasPath() const { return m_alias.path(); }
    bool comTaken() const { return m_comTaken; }
    // Bytes of replies that were lost because nobody took them from the line.
    qint64 lostBytes() const { return m_lostBytes; }

signals:
    void commandReceived(const QString& command);

private:
    void readCommands();
    void reply(const InstrumentModel::Reply& reply);
    void sendText(const QByteArray& text);
    QByteArray lineEnding() const;

    SimOptions m_options;
    InstrumentModel m_model;
    LineFramer m_framer;
    int m_master = -1;
    int m_slave = -1; // held open so that the line stays up between the terminal's connections
    QString m_devicePath;
    SimulatorAlias m_alias;
    bool m_comTaken = false;
    QSocketNotifier* m_readable = nullptr;
    qint64 m_lostBytes = 0;
    bool m_lineFull = false;
    QTimer m_talk;
};

// The simulator program: parses the options, runs until Ctrl+C or SIGTERM, and cleans up.
int runSimulator(int argc, char** argv);
