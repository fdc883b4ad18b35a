#include "app/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace zebrik::app {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kLockTimeoutMs = 3000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

}  // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Serve);
}

QString SingleInstance::DefaultServerName() {
    const QString name = QStringLiteral("DeduvaVazarEzar") + QString::number(getuid());
    // A socket in /tmp could be taken by another user first; the runtime directory is
    // the user's own.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : QDir(runtime).filePath(name);
}

SingleInstance::Start SingleInstance::Claim() {
    // Two starts at the same moment would both find no server and both listen; the lock
    // makes the look and the listen one step. A lock left by a crashed start goes stale.
    // Without the lock (it could not be had in time) the start goes on all the same.
    const QString lockName = serverName_ + QStringLiteral(".lock");
    QLockFile lock(QDir::isAbsolutePath(lockName) ? lockName : QDir::temp().filePath(lockName));
    lock.tryLock(kLockTimeoutMs);
    if (AskRunningInstance()) {
        return Start::Notified;
    }
    return Listen() ? Start::First : Start::Alone;
}

bool SingleInstance::AskRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

bool SingleInstance::Listen() {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(serverName_)) {
        return true;
    }
    if (server_.serverError() != QAbstractSocket::AddressInUseError) {
        return false;
    }
    // Nobody answered on it, so the socket is what a crashed instance left behind.
    QLocalServer::removeServer(serverName_);
    return server_.listen(serverName_);
}

void SingleInstance::Serve() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kShowRequest) {
                    Q_EMIT showRequested();
                }
            }
        });
    }
}

}  // namespace zebrik::app
