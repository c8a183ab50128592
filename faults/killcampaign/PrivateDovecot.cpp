#include "PrivateDovecot.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>

namespace kervo::faults {

namespace {

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

bool alive(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

}  // namespace

PrivateDovecot::PrivateDovecot(QString script, QString runDir)
    : script_(std::move(script)), runDir_(std::move(runDir)) {}

PrivateDovecot::~PrivateDovecot() {
    stop();
}

QString PrivateDovecot::unavailableReason() {
    if (!QFileInfo(QStringLiteral("/usr/sbin/dovecot")).isExecutable()) {
        return QStringLiteral("dovecot is not installed (packages dovecot-core, dovecot-pop3d)");
    }
    if (!QFile::exists(QStringLiteral("/usr/lib/dovecot/pop3"))) {
        return QStringLiteral("the dovecot POP3 server is not installed (package dovecot-pop3d)");
    }
    if (::geteuid() == 0 &&
        (::getpwnam("dovecot") == nullptr || ::getpwnam("dovenull") == nullptr)) {
        return QStringLiteral("the users dovecot and dovenull are missing");
    }
    return {};
}

bool PrivateDovecot::start(QString& why) {
    port_ = freePort();
    QProcess starter;
    starter.setProcessChannelMode(QProcess::MergedChannels);
    starter.start(QStringLiteral("bash"),
                  {script_, runDir_, QString::number(port_), QString::fromLatin1(kUser),
                   QString::fromLatin1(kPassword)});
    if (!starter.waitForFinished(60'000) || starter.exitStatus() != QProcess::NormalExit ||
        starter.exitCode() != 0) {
        why = QStringLiteral("%1 failed: %2")
                  .arg(script_, QString::fromLocal8Bit(starter.readAll()).trimmed());
        return false;
    }
    QFile pidFile(runDir_ + QStringLiteral("/dovecot.pid"));
    if (pidFile.open(QIODevice::ReadOnly)) {
        pid_ = pidFile.readAll().trimmed().toLongLong();
    }
    if (!alive(pid_)) {
        why = QStringLiteral("the server is not running after %1").arg(script_);
        return false;
    }
    return true;
}

void PrivateDovecot::stop() {
    if (!alive(pid_)) {
        pid_ = 0;
        return;
    }
    // The master ends its own login and mail processes on the way out.
    ::kill(static_cast<pid_t>(pid_), SIGTERM);
    const QDeadlineTimer deadline(10'000);
    while (alive(pid_) && !deadline.hasExpired()) {
        QThread::msleep(50);
    }
    if (alive(pid_)) {
        ::kill(static_cast<pid_t>(pid_), SIGKILL);
    }
    pid_ = 0;
}

QString PrivateDovecot::address() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString PrivateDovecot::maildir() const {
    return runDir_ + QStringLiteral("/mail/") + QString::fromLatin1(kUser);
}

bool PrivateDovecot::deliver(const QByteArray& mail, QString& why) {
    const QString name = QStringLiteral("%1.M%2P%3.kervo-campaign")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(++delivered_)
                             .arg(::getpid());
    const QString tmp = maildir() + QStringLiteral("/tmp/") + name;
    QFile file(tmp);
    if (!file.open(QIODevice::WriteOnly) || file.write(mail) != mail.size() || !file.flush()) {
        why = QStringLiteral("cannot write %1: %2").arg(tmp, file.errorString());
        return false;
    }
    file.close();
    // As root the server reads the mailbox as its own user, who owns the maildir.
    struct stat owner {};
    if (::stat(QFile::encodeName(maildir()).constData(), &owner) == 0 &&
        (owner.st_uid != ::geteuid() || owner.st_gid != ::getegid())) {
        if (::chown(QFile::encodeName(tmp).constData(), owner.st_uid, owner.st_gid) != 0) {
            why = QStringLiteral("cannot hand %1 to the server's user").arg(tmp);
            return false;
        }
    }
    if (::rename(QFile::encodeName(tmp).constData(),
                 QFile::encodeName(maildir() + QStringLiteral("/new/") + name).constData()) != 0) {
        why = QStringLiteral("cannot move %1 into new/").arg(tmp);
        return false;
    }
    return true;
}

}  // namespace kervo::faults
