#include "SingleInstance.h"

#include "Registry.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// FNV-1a: a stable name for a path, the same in every process.
quint64 HashText(const std::string& text) {
    quint64 hash = 1469598103934665603ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

} // namespace

CSingleInstance::CSingleInstance() {
    const quint64 hash = HashText(RegGetHivePath(HKEY_LOCAL_MACHINE));
    m_name = QString("dorvale-sheetforge-%1-%2").arg(::getuid()).arg(hash, 16, 16, QChar('0'));
    m_lockPath = QDir::temp().filePath(m_name + ".lock");
}

CSingleInstance::~CSingleInstance() {
    if (m_server) {
        m_server->close();
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd); // the lock goes with the descriptor
    }
}

bool CSingleInstance::Acquire() {
    if (m_lockFd >= 0) {
        return true;
    }
    const QByteArray path = QFile::encodeName(m_lockPath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

bool CSingleInstance::RaiseOther() {
    // The first copy may still be opening its window; give it a few seconds to listen.
    for (int attempt = 0; attempt < 50; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (socket.waitForConnected(200)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

bool CSingleInstance::Listen(std::function<void()> raise) {
    m_raise = std::move(raise);
    // A server file left by a copy that was killed is ours to replace: we hold the lock.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (m_raise) {
                m_raise();
            }
        }
    });
    return m_server->listen(m_name);
}
