#include "platform/qt/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <algorithm>
#include <filesystem>

namespace invarro::platform::qt {

namespace {

constexpr char kRaise[] = "raise\n";
constexpr char kDone[] = "ok\n";

int Remaining(const QDeadlineTimer& deadline) {
    return int(std::max<qint64>(deadline.remainingTime(), 0));
}

}  // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), key_(KeyFor(dataFolder)) {}

SingleInstance::~SingleInstance() {
    release();
}

QString SingleInstance::KeyFor(const QString& dataFolder) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(dataFolder.toStdString(), ec);
    std::filesystem::path canonical = std::filesystem::weakly_canonical(p, ec);
    if (ec) canonical = p.lexically_normal();
    std::string text = canonical.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    // The user is part of the name: two users may keep their data in the same place.
    const QByteArray id =
        QByteArray::number(qulonglong(::getuid())) + ":" + QByteArray::fromStdString(text);
    return QString::fromLatin1(
        QCryptographicHash::hash(id, QCryptographicHash::Sha256).toHex().left(24));
}

QString SingleInstance::lockPath() const {
    return QDir::temp().filePath("invarro-" + key_ + ".lock");
}

bool SingleInstance::takeLock(const QDeadlineTimer& deadline) {
    lock_ = std::make_unique<QLockFile>(lockPath());
    // The lock is held only while a start decides, which may include a question to the
    // user, or while a batch command runs; it is stale only when its program is gone.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(Remaining(deadline))) return true;
    lock_.reset();
    return false;
}

SingleInstance::Outcome SingleInstance::start(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    if (!takeLock(deadline)) return Outcome::Undecided;

    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (socket.waitForConnected(std::min(Remaining(deadline), 2000))) {
        socket.write(kRaise);
        socket.flush();
        QByteArray reply;
        while (!reply.contains('\n') && Remaining(deadline) > 0 &&
               socket.waitForReadyRead(Remaining(deadline)))
            reply += socket.readAll();
        release();
        return reply.startsWith(kDone) ? Outcome::AlreadyRunning : Outcome::Undecided;
    }

    // Nobody answers: a socket left behind by a program that died is taken over.
    QLocalServer::removeServer(serverName());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
    if (!server_->listen(serverName()))
        qWarning("invarro: cannot listen on %s: %s", qPrintable(serverName()),
                 qPrintable(server_->errorString()));
    return Outcome::First;
}

SingleInstance::Outcome SingleInstance::hold(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    if (!takeLock(deadline)) return Outcome::Undecided;
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(std::max(Remaining(deadline), 200))) return Outcome::First;
    socket.disconnectFromServer();
    release();
    return Outcome::AlreadyRunning;
}

void SingleInstance::release() {
    if (lock_) {
        lock_->unlock();
        lock_.reset();
    }
}

void SingleInstance::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) return;
            const QByteArray line = socket->readLine();
            if (line == kRaise) {
                socket->write(kDone);
                socket->flush();
                emit raiseRequested();
            }
            socket->disconnectFromServer();
        });
    }
}

}  // namespace invarro::platform::qt
