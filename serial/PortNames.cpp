#include "PortNames.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace PortNames {

QString aliasFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/bvterm/ports");
}

QString aliasPath(int portNumber)
{
    return aliasFolder() + QStringLiteral("/com%1").arg(portNumber);
}

QString builtInDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    if (portNumber < 1 || portNumber > PortCount)
        return QString();
    static const char* const families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const int family = (portNumber - 1) / 4;
    return QString::fromLatin1(families[family]) + QString::number((portNumber - 1) % 4);
#endif
}

QString devicePath(int portNumber)
{
#ifndef Q_OS_WIN
    const QFileInfo alias(aliasPath(portNumber));
    if (alias.isSymLink() || alias.exists())
        return alias.filePath();
#endif
    return builtInDevice(portNumber);
}

QString describe(int portNumber)
{
    const QString path = devicePath(portNumber);
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString target = info.canonicalFilePath();
    // A dangling alias has no canonical path: name the target it points at.
    return target.isEmpty() ? info.symLinkTarget() : target;
}

int portNumberOf(const QString& entry)
{
    if (!entry.startsWith(QLatin1String("COM ")))
        return 0;
    bool ok = false;
    const int number = entry.mid(4).toInt(&ok);
    return ok ? number : 0;
}

} // namespace PortNames
