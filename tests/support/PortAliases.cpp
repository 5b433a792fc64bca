#include "PortAliases.h"

#include "serial/PortNames.h"

#include <QDir>
#include <QFile>

PortAliases::PortAliases()
{
    redirect(m_data, "XDG_DATA_HOME", m_home.filePath("data"));
    redirect(m_runtime, "XDG_RUNTIME_DIR", m_home.filePath("run"));
    QDir().mkpath(PortNames::aliasFolder());
}

PortAliases::~PortAliases()
{
    restore(m_runtime);
    restore(m_data);
}

void PortAliases::redirect(Saved& saved, const char* name, const QString& folder)
{
    QDir().mkpath(folder);
    // Only its owner may use a runtime folder.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    saved.name = name;
    saved.wasSet = qEnvironmentVariableIsSet(name);
    saved.value = qgetenv(name);
    qputenv(name, QFile::encodeName(folder));
}

void PortAliases::restore(const Saved& saved)
{
    if (saved.wasSet)
        qputenv(saved.name.constData(), saved.value);
    else
        qunsetenv(saved.name.constData());
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

QString PortAliases::runtimeFolder() const
{
    return m_home.filePath("run");
}
