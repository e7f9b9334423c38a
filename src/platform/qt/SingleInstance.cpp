#include "platform/qt/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <algorithm>
#include <cerrno>
#include <cstring>
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
    : QObject(parent), folder_(dataFolder), key_(KeyFor(dataFolder)) {}

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
    return QDir(folder_).filePath("invarro.lock");
}

bool SingleInstance::takeLock(const QDeadlineTimer& deadline) {
    release();
    // The folder is made here when it is new (the owner's alone), so that it can be locked
    // before anything else happens in it.
    std::error_code ec;
    if (std::filesystem::create_directories(folder_.toStdString(), ec))
        (void)::chmod(folder_.toLocal8Bit().constData(), 0700);
    const QByteArray path = lockPath().toLocal8Bit();
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning("invarro: cannot open %s: %s", path.constData(), std::strerror(errno));
        return false;
    }
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK || Remaining(deadline) <= 0) {
            ::close(fd);
            return false;
        }
        ::usleep(20000);
    }
    // Who holds it, for a person looking at the folder; nothing reads it back.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + "\n";
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    lockFd_ = fd;
    return true;
}

SingleInstance::Outcome SingleInstance::start(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // Locked by a running program: ask it to show itself.
    if (!takeLock(QDeadlineTimer(std::min(timeoutMs, 500)))) {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (!socket.waitForConnected(std::min(std::max(Remaining(deadline), 1), 2000)))
            return Outcome::Undecided;
        socket.write(kRaise);
        socket.flush();
        QByteArray reply;
        while (!reply.contains('\n') && Remaining(deadline) > 0 &&
               socket.waitForReadyRead(Remaining(deadline)))
            reply += socket.readAll();
        return reply.startsWith(kDone) ? Outcome::AlreadyRunning : Outcome::Undecided;
    }

    // The folder is this program's: a socket left behind by one that died is taken over.
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
    if (takeLock(deadline)) return Outcome::First;
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(200)) return Outcome::Undecided;
    socket.disconnectFromServer();
    return Outcome::AlreadyRunning;
}

void SingleInstance::release() {
    if (lockFd_ >= 0) ::close(lockFd_);  // the lock goes with the descriptor
    lockFd_ = -1;
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
