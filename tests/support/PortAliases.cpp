#include "PortAliases.h"

#include "serial/PortNames.h"

#include <QDir>
#include <QFile>

PortAliases::PortAliases()
{
    m_hadPrevious = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    m_previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
    QDir().mkpath(PortNames::aliasFolder());
}

PortAliases::~PortAliases()
{
    if (m_hadPrevious)
        qputenv("XDG_DATA_HOME", m_previous);
    else
        qunsetenv("XDG_DATA_HOME");
}

void PortAliases::point(int portNumber, const QString& device)
{
    remove(portNumber);
    QFile::link(device, PortNames::aliasPath(portNumber));
}

void PortAliases::remove(int portNumber)
{
    QFile::remove(PortNames::aliasPath(portNumber));
}

QString PortAliases::folder() const
{
    return PortNames::aliasFolder();
}
