#include "SimulatorAlias.h"

#include "serial/PortNames.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

#ifdef F_OFD_SETLK
// Locks of the open file: a second descriptor of the same process conflicts too, and closing
// some other descriptor of the file does not release it.
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool pathExists(const QString& path)
{
    struct stat info {};
    return ::lstat(encoded(path).constData(), &info) == 0;
}

// "points at X" for a link, what it is otherwise.
QString whatItIs(const QString& path)
{
    const QFileInfo info(path);
    if (!pathExists(path))
        return QStringLiteral("is not there yet");
    if (info.isSymLink())
        return QStringLiteral("points at %1").arg(info.symLinkTarget());
    return info.isDir() ? QStringLiteral("is a folder") : QStringLiteral("is not a link");
}

// Makes the folder for this user alone, or checks that an existing one is.
bool makePrivateFolder(const QString& path, QString* error)
{
    if (::mkdir(encoded(path).constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make the folder %1: %2").arg(path, qt_error_string(errno));
        return false;
    }
    if (!PortNames::isPrivateFolder(path)) {
        *error = QStringLiteral("%1 is not a folder of this user's alone (it must be a folder, "
                                "not a link, owned by you, that no one else may write to); the "
                                "simulator does not publish there")
                     .arg(path);
        return false;
    }
    return true;
}

QString suggestion(int taken)
{
    const int other = suggestComNumber(taken);
    if (other == 0)
        return QStringLiteral(" Every COM number from 1 to %1 is taken.").arg(PortNames::PortCount);
    return QStringLiteral(" Choose another COM number, for example --com %1.").arg(other);
}

} // namespace

SimulatorAlias::~SimulatorAlias()
{
    release();
}

SimulatorAlias::Outcome SimulatorAlias::publish(int portNumber, const QString& device,
                                                QString* error)
{
    release();
    const QString com = QStringLiteral("COM %1").arg(portNumber);

    // The user's own alias means COM n is a device of theirs: leave it exactly as it is.
    const QString userAlias = PortNames::aliasPath(portNumber);
    if (pathExists(userAlias)) {
        *error = QStringLiteral("%1 is taken by your alias %2, which %3; the simulator leaves it "
                                "as it is.")
                     .arg(com, userAlias, whatItIs(userAlias)) +
                 suggestion(portNumber);
        return Outcome::Taken;
    }

    if (!makePrivateFolder(PortNames::simulatorBaseFolder(), error) ||
        !makePrivateFolder(PortNames::simulatorFolder(), error))
        return Outcome::Failed;

    // The lock is held for as long as this simulator runs. A lock file that a simulator
    // removed on its way out while this one was opening it is locked again under its name.
    const QString lockPath = PortNames::simulatorLockPath(portNumber);
    const QString alias = PortNames::simulatorAliasPath(portNumber);
    int lock = -1;
    for (int attempt = 0; attempt < 100 && lock < 0; ++attempt) {
        const int descriptor =
            ::open(encoded(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0) {
            *error =
                QStringLiteral("cannot open the lock %1: %2").arg(lockPath, qt_error_string(errno));
            return Outcome::Failed;
        }
        struct flock request {};
        request.l_type = F_WRLCK;
        request.l_whence = SEEK_SET;
        if (::fcntl(descriptor, kSetLock, &request) != 0) {
            const int reason = errno;
            char owner[32] = {};
            [[maybe_unused]] const ssize_t ignored =
                ::pread(descriptor, owner, sizeof owner - 1, 0);
            ::close(descriptor);
            if (reason != EAGAIN && reason != EACCES) {
                *error =
                    QStringLiteral("cannot lock %1: %2").arg(lockPath, qt_error_string(reason));
                return Outcome::Failed;
            }
            const int pid = QByteArray(owner).trimmed().toInt();
            *error = QStringLiteral("%1 is taken by another running simulator%2: its alias %3 %4.")
                         .arg(com, pid > 0 ? QStringLiteral(" (process %1)").arg(pid) : QString(),
                              alias, whatItIs(alias)) +
                     suggestion(portNumber);
            return Outcome::Taken;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(descriptor, &held) == 0 &&
            ::lstat(encoded(lockPath).constData(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            lock = descriptor;
        } else {
            ::close(descriptor);
        }
    }
    if (lock < 0) {
        *error = QStringLiteral("cannot lock %1: it keeps being replaced").arg(lockPath);
        return Outcome::Failed;
    }
    // Other simulators name this process when they refuse COM n.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(lock, 0) == 0) {
        [[maybe_unused]] const ssize_t written =
            ::pwrite(lock, pid.constData(), size_t(pid.size()), 0);
    }
    m_lock = lock;
    m_lockPath = lockPath;

    // Holding the lock, this simulator is the only one for COM n: an alias there is a killed
    // simulator's, which no one uses any more. Anything else is not the simulator's to remove.
    struct stat existing {};
    if (::lstat(encoded(alias).constData(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            *error = QStringLiteral("%1 is taken: %2 %3, so the simulator did not make it and "
                                    "leaves it as it is.")
                         .arg(com, alias, whatItIs(alias)) +
                     suggestion(portNumber);
            release();
            return Outcome::Taken;
        }
        ::unlink(encoded(alias).constData());
    }
    if (::symlink(encoded(device).constData(), encoded(alias).constData()) != 0) {
        *error = QStringLiteral("cannot make the alias %1: %2").arg(alias, qt_error_string(errno));
        release();
        return Outcome::Failed;
    }
    m_path = alias;
    m_device = device;
    return Outcome::Published;
}

void SimulatorAlias::release()
{
    if (m_lock < 0)
        return;
    // Only while it still names this simulator's device: someone may have replaced it.
    if (!m_path.isEmpty() && QFileInfo(m_path).symLinkTarget() == m_device)
        ::unlink(encoded(m_path).constData());
    // The lock file goes while it is still held, so that no other simulator holds it then.
    struct stat held {};
    struct stat named {};
    if (::fstat(m_lock, &held) == 0 && ::lstat(encoded(m_lockPath).constData(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlink(encoded(m_lockPath).constData());
    ::close(m_lock);
    m_lock = -1;
    m_lockPath.clear();
    m_path.clear();
    m_device.clear();
}

ComUse comUse(int portNumber)
{
    if (pathExists(PortNames::aliasPath(portNumber)) || PortNames::simulatorRuns(portNumber))
        return ComUse::Taken;
    const QString alias = PortNames::simulatorAliasPath(portNumber);
    if (pathExists(alias) && !QFileInfo(alias).isSymLink())
        return ComUse::Taken;
    return pathExists(PortNames::builtInDevice(portNumber)) ? ComUse::DeviceOnly : ComUse::Free;
}

int suggestComNumber(int taken, const std::function<ComUse(int)>& useOf)
{
    int withDevice = 0;
    for (int step = 1; step < PortNames::PortCount; ++step) {
        const int number = (taken - 1 + step) % PortNames::PortCount + 1;
        const ComUse use = useOf(number);
        if (use == ComUse::Free)
            return number;
        if (use == ComUse::DeviceOnly && withDevice == 0)
            withDevice = number;
    }
    return withDevice;
}
