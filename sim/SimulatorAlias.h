#pragma once

#include <QString>

#include <functional>

// The simulator's claim on a COM number: a lock held for as long as the simulator runs, which
// tells a running simulator's alias from one left behind by a simulator that was killed, and
// the alias in the simulator's folder that names its pseudo-terminal for the terminal.
// Nothing the simulator did not make is ever replaced or removed.
class SimulatorAlias {
public:
    enum class Outcome { Published, Taken, Failed };

    SimulatorAlias() = default;
    ~SimulatorAlias();
    SimulatorAlias(const SimulatorAlias&) = delete;
    SimulatorAlias& operator=(const SimulatorAlias&) = delete;

    // Publishes `device` as COM n. Taken when the user has an alias for COM n, another
    // running simulator holds it, or something else stands at the alias's place; the message
    // names the alias and its target and suggests a free COM number.
    Outcome publish(int portNumber, const QString& device, QString* error);
    // Removes the alias (when it still names this simulator's device) and the lock.
    void release();

    QString path() const { return m_path; }

private:
    int m_lock = -1;
    QString m_lockPath;
    QString m_path;
    QString m_device;
};

// What a COM number is to a simulator that looks for one to publish as.
enum class ComUse {
    Free,       // no alias and no device of its built-in name
    DeviceOnly, // no alias, but a device of its built-in name exists, which an alias would hide
    Taken       // the user's alias, a running simulator, or something else at the alias's place
};
ComUse comUse(int portNumber);

// The COM number to suggest instead of `taken`: the first free one counting up from it
// (after COM 12 comes COM 1), else the first one that only has a device of its built-in name;
// 0 when every one is taken.
int suggestComNumber(int taken, const std::function<ComUse(int)>& useOf = comUse);
