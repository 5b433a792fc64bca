#pragma once

#include <QString>

// How a port number of the list ("COM n") maps to a device of the machine.
//
// On Linux, COM n is the device alias "comN" in the folder bvterm/ports of the user's data
// directory when that alias exists (a symbolic link to any serial device); otherwise COM 1-4
// are /dev/ttyS0-3, COM 5-8 /dev/ttyUSB0-3 and COM 9-12 /dev/ttyACM0-3. On Windows COM n is
// the port COMn.
namespace PortNames {

// The port list offers COM 1 to COM PortCount.
constexpr int PortCount = 12;

// Folder that holds the device aliases: $XDG_DATA_HOME/bvterm/ports, by default
// ~/.local/share/bvterm/ports.
QString aliasFolder();
QString aliasPath(int portNumber);

// The device that would be used without an alias.
QString builtInDevice(int portNumber);

// The path that opening COM n uses: its alias when one exists (even one whose target is gone),
// otherwise the built-in device.
QString devicePath(int portNumber);

// The device the user's choice resolves to, for display: the alias's final target when it has
// one, otherwise devicePath.
QString describe(int portNumber);

// Port number of a list entry "COM n", or 0 when the text is not such an entry.
int portNumberOf(const QString& entry);

} // namespace PortNames
