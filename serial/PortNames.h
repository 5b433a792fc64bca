#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How a port number of the list ("COM n") maps to a device of the machine.
//
// On Linux, COM n is, in this order:
// 1. the alias "comN" that a running simulator publishes in its folder of the login session
//    (simulatorFolder()), while the simulator that made it still runs;
// 2. the user's own alias "comN" in the folder bvterm/ports of the user's data directory
//    (aliasFolder()), a symbolic link to any serial device;
// 3. the built-in name: COM 1-4 are /dev/ttyS0-3, COM 5-8 /dev/ttyUSB0-3 and COM 9-12
//    /dev/ttyACM0-3.
// On Windows COM n is the port COMn, opened as the device \\.\COMn; there are no aliases.
namespace PortNames {

// The port list offers COM 1 to COM PortCount; on Windows also each port above them that the
// system has (USB adapters often get numbers above 12). Windows numbers its ports up to
// HighestWindowsPort; COM n can be opened up to HighestPort.
constexpr int PortCount = 12;
constexpr int HighestWindowsPort = 256;
#ifdef Q_OS_WIN
constexpr int HighestPort = HighestWindowsPort;
#else
constexpr int HighestPort = PortCount;
#endif

// The names of the serial ports the system has: "COM13" and the like on Windows; none
// elsewhere, where aliases give COM 1 to COM 12 any device.
QStringList systemPorts();

// The port numbers the list offers, in order: 1 to PortCount, then each "COMn" of
// `systemPorts` with n above PortCount (up to HighestWindowsPort), and `selected` where it is above
// PortCount too: a chosen port that has gone stays listed.
QList<int> listedPorts(const QStringList& systemPorts, int selected);

// Where the device of COM n comes from.
enum class Source { Simulator, UserAlias, BuiltIn };

// Folder of the user's own device aliases: $XDG_DATA_HOME/bvterm/ports, by default
// ~/.local/share/bvterm/ports.
QString aliasFolder();
QString aliasPath(int portNumber);

// Folder of the simulator's aliases, which vanishes with the login session:
// $XDG_RUNTIME_DIR/bvterm/ports, or /tmp/bvterm-<uid>/ports without XDG_RUNTIME_DIR.
QString simulatorFolder();
// The folder that holds simulatorFolder(): $XDG_RUNTIME_DIR/bvterm or /tmp/bvterm-<uid>.
QString simulatorBaseFolder();
QString simulatorAliasPath(int portNumber);
// The file that a running simulator holds locked for as long as it publishes COM n.
QString simulatorLockPath(int portNumber);
// Whether a living process holds the lock of COM n: its alias is then a running simulator's.
// An alias whose lock nobody holds was left behind by a simulator that was killed.
bool simulatorRuns(int portNumber);
// Whether the folder is a real folder (not a link) owned by this user that no one else may
// write to. The simulator's folders are used only when they are.
bool isPrivateFolder(const QString& path);

// The device that would be used without an alias.
QString builtInDevice(int portNumber);

// Which of the three names COM n uses now.
Source sourceOf(int portNumber);

// The path that opening COM n uses: the running simulator's alias, else the user's alias when
// one exists (even one whose target is gone), otherwise the built-in device.
QString devicePath(int portNumber);

// The device the user's choice resolves to, for display: the alias's final target when it has
// one, otherwise devicePath.
QString describe(int portNumber);

// One line for the user on what COM n is and which of the three names applies, for example
// "COM 5 is /dev/ttyUSB0 (your alias /home/ann/.local/share/bvterm/ports/com5)".
QString explain(int portNumber);

// Port number of a list entry "COM n", or 0 when the text is not such an entry.
int portNumberOf(const QString& entry);

} // namespace PortNames
