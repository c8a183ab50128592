#include "DovecotServer.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <csignal>

namespace kervo::test {

using namespace Qt::StringLiterals;

namespace {

QString dovecotBinary() {
    return QStandardPaths::findExecutable(u"dovecot"_s, {u"/usr/sbin"_s, u"/usr/local/sbin"_s});
}

// With port 0 reserves and frees a port of 127.0.0.1, otherwise tries to connect to it: the
// port, 0 when that failed.
int probePort(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    socklen_t length = sizeof address;
    const bool ok = port == 0 ? ::bind(fd, raw, length) == 0 && ::getsockname(fd, raw, &length) == 0
                              : ::connect(fd, raw, length) == 0;
    ::close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A throw-away self-signed certificate for 127.0.0.1 and its key in dir; the pin of the key,
// empty with the reason in why when openssl failed.
QString makeCertificate(const QDir& dir, QString& why) {
    QProcess tool;
    tool.start(
        u"openssl"_s,
        u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -pubkey "
        "-subj /CN=localhost -addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout"_s.split(
            u' ')
            << dir.filePath(u"key.pem"_s));
    tool.waitForFinished(60'000);
    // The public key comes first, then the certificate.
    const QByteArray out = tool.readAllStandardOutput();
    const qsizetype keyEnd = out.indexOf("-----END PUBLIC KEY");
    const qsizetype certificate = out.indexOf("-----BEGIN CERTIFICATE");
    if (keyEnd < 0 || certificate < 0 ||
        !writeFile(dir.filePath(u"cert.pem"_s), out.mid(certificate))) {
        why = u"openssl failed: "_s + QString::fromLocal8Bit(tool.readAllStandardError());
        return {};
    }
    // The base64 within the armour of the key is the DER form the pin is taken of.
    const QByteArray der = QByteArray::fromBase64(out.left(keyEnd).mid(out.indexOf('\n')));
    return u"sha256//"_s +
           QString::fromLatin1(
               QCryptographicHash::hash(der, QCryptographicHash::Sha256).toBase64());
}

}  // namespace

QString DovecotServer::unavailableReason() {
    if (dovecotBinary().isEmpty() || QStandardPaths::findExecutable(u"openssl"_s).isEmpty() ||
        (!QFile::exists(u"/usr/lib/dovecot/pop3"_s) &&
         !QFile::exists(u"/usr/libexec/dovecot/pop3"_s)) ||
        (::geteuid() == 0 && (!::getpwnam("dovecot") || !::getpwnam("dovenull")))) {
        return u"needs openssl and the packages dovecot-core and dovecot-pop3d, with their users"_s;
    }
    return {};
}

void DovecotServer::stop() {
    // The whole group at once: nothing of this throw-away server needs an orderly shutdown.
    if (const auto group = static_cast<pid_t>(process_.processId()); group > 0) {
        ::kill(-group, SIGKILL);
        process_.waitForFinished(10'000);
    }
}

QString DovecotServer::log() const {
    QFile file(dir_.filePath(u"dovecot.log"_s));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DovecotServer::maildir() const {
    return dir_.filePath(u"mail/"_s + QString::fromLatin1(kUser));
}

void DovecotServer::handOver(const QString& path) const {
    (void)::chown(QFile::encodeName(path).constData(), mailUid_, mailGid_);
}

bool DovecotServer::start(QString& why) {
    // The server refuses to serve logins or mail as root: its own users do then, and they must
    // be able to reach into the temporary folder.
    const bool root = ::geteuid() == 0;
    const passwd* owner = root ? ::getpwnam("dovecot") : ::getpwuid(::geteuid());
    mailUid_ = owner->pw_uid;
    mailGid_ = owner->pw_gid;
    const QString user = QString::fromLocal8Bit(owner->pw_name);
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    pin_ = makeCertificate(QDir(dir_.path()), why);
    if (pin_.isEmpty()) {
        return false;
    }
    for (const QString& path :
         {dir_.filePath(u"home/"_s + QString::fromLatin1(kUser)), maildir() + u"/cur"_s,
          maildir() + u"/new"_s, maildir() + u"/tmp"_s, maildir()}) {
        QDir().mkpath(path);
        handOver(path);
    }
    // A server started again keeps its ports: the client under test still has them.
    if (popPort_ == 0) {
        popPort_ = probePort(0);
        popsPort_ = probePort(0);
    }
    const QString config =
        u"base_dir = %1/run\nstate_dir = %1/state\nlog_path = %1/dovecot.log\n"
        "protocols = pop3\nlisten = 127.0.0.1\nssl_cert = <%1/cert.pem\nssl_key = <%1/key.pem\n"
        "default_internal_user = %2\ndefault_internal_group = %3\ndefault_login_user = %4\n"
        "first_valid_uid = %5\nauth_mechanisms = plain apop\nauth_failure_delay = 0\n"
        "disable_plaintext_auth = no\nmail_location = maildir:%1/mail/%u\n"
        "passdb {\n driver = passwd-file\n args = scheme=PLAIN %1/passwd\n}\n"
        "userdb {\n driver = static\n args = uid=%5 gid=%6 home=%1/home/%u\n}\n"
        "service anvil {\n chroot =\n}\nservice pop3-login {\n chroot =\n"
        " inet_listener pop3 {\n port = %7\n }\n"
        " inet_listener pop3s {\n port = %8\n ssl = yes\n }\n}\n"_s
            .arg(dir_.path(), user, QString::fromLocal8Bit(::getgrgid(mailGid_)->gr_name),
                 root ? u"dovenull"_s : user)
            .arg(mailUid_)
            .arg(mailGid_)
            .arg(popPort_)
            .arg(popsPort_);
    const QString passwdFile = dir_.filePath(u"passwd"_s);
    if (!writeFile(passwdFile, QByteArray(kUser) + ":{PLAIN}" + kPassword + "::::::\n") ||
        ::chmod(QFile::encodeName(passwdFile).constData(), 0644) != 0 ||
        !writeFile(dir_.filePath(u"dovecot.conf"_s), config.toUtf8())) {
        why = u"cannot write the configuration"_s;
        return false;
    }
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A process group of its own, so that the teardown reaches every child it forks.
    process_.setChildProcessModifier([] { ::setsid(); });
    process_.start(dovecotBinary(), {u"-F"_s, u"-c"_s, dir_.filePath(u"dovecot.conf"_s)});
    for (const QDeadlineTimer deadline(20'000); !deadline.hasExpired();) {
        if (probePort(popPort_) != 0 && probePort(popsPort_) != 0) {
            return true;
        }
        // Waiting on the child doubles as noticing at once when it gives up.
        if (process_.state() == QProcess::NotRunning || process_.waitForFinished(50)) {
            why = u"dovecot ended: "_s + QString::fromLocal8Bit(process_.readAll()) + log();
            return false;
        }
    }
    why = u"dovecot does not listen: "_s + log();
    return false;
}

bool DovecotServer::addMail(const QByteArray& content) {
    // The server orders new mails by the time in their names.
    ++delivered_;
    const QString name =
        u"%1.M%2P%3.kervo-test"_s.arg(1'700'000'000 + delivered_).arg(delivered_).arg(::getpid());
    const QString draft = maildir() + u"/tmp/"_s + name;
    if (!writeFile(draft, content)) {
        return false;
    }
    handOver(draft);
    return QFile::rename(draft, maildir() + u"/new/"_s + name);
}

int DovecotServer::mailCount() const {
    return static_cast<int>(QDir(maildir() + u"/cur"_s).entryList(QDir::Files).size() +
                            QDir(maildir() + u"/new"_s).entryList(QDir::Files).size());
}

}  // namespace kervo::test
