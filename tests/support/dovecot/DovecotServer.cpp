#include "DovecotServer.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <csignal>
#include <iterator>
#include <utility>

namespace kervo::test {

using namespace Qt::StringLiterals;

namespace {

QString dovecotBinary() {
    return QStandardPaths::findExecutable(u"dovecot"_s, {u"/usr/sbin"_s, u"/usr/local/sbin"_s});
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

sockaddr_in loopback(int port) {
    return {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
}

// The first line whoever listens on the port of 127.0.0.1 says, or empty when nobody listens
// or nothing came by the deadline.
QByteArray firstLine(int port, const QDeadlineTimer& deadline) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    QByteArray line;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        while (!line.contains('\n')) {
            pollfd ready{fd, POLLIN, 0};
            const auto wait = static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
            char chunk[256];
            const ssize_t got = ::poll(&ready, 1, wait) == 1 ? ::read(fd, chunk, sizeof chunk) : 0;
            if (got <= 0) {
                break;
            }
            line.append(chunk, got);
        }
    }
    ::close(fd);
    return line.left(line.indexOf('\n'));
}

// A throw-away self-signed certificate for the name localhost (and not for the address
// 127.0.0.1, so that a client can be caught not checking the name) and its key in dir; the pin
// of the key.
Result<QString> makeCertificate(const QDir& dir) {
    QProcess tool;
    tool.start(u"openssl"_s,
               u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -pubkey "
               "-subj /CN=localhost -addext subjectAltName=DNS:localhost -keyout"_s.split(u' ')
                   << dir.filePath(u"key.pem"_s));
    tool.waitForFinished(60'000);
    // The public key comes first, then the certificate.
    const QByteArray out = tool.readAllStandardOutput();
    const qsizetype keyEnd = out.indexOf("-----END PUBLIC KEY");
    const qsizetype certificate = out.indexOf("-----BEGIN CERTIFICATE");
    if (keyEnd < 0 || certificate < 0 ||
        !writeFile(dir.filePath(u"cert.pem"_s), out.mid(certificate))) {
        return Error{u"openssl failed: "_s + QString::fromLocal8Bit(tool.readAllStandardError())};
    }
    // The base64 within the armour of the key is the DER form the pin is taken of.
    const QByteArray der = QByteArray::fromBase64(out.left(keyEnd).mid(out.indexOf('\n')));
    return u"sha256//"_s +
           QString::fromLatin1(
               QCryptographicHash::hash(der, QCryptographicHash::Sha256).toBase64());
}

}  // namespace

PortReservation::PortReservation() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const int reuse = 1;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) == 0 &&
        ::bind(fd_, raw, length) == 0 && ::getsockname(fd_, raw, &length) == 0) {
        port_ = ntohs(address.sin_port);
    }
}

PortReservation::~PortReservation() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

PortReservation::PortReservation(PortReservation&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), port_(std::exchange(other.port_, 0)) {}

PortReservation& PortReservation::operator=(PortReservation&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(port_, other.port_);
    return *this;
}

DovecotServer::DovecotServer(const QString& parentFolder)
    : dir_(parentFolder.isEmpty() ? QDir::tempPath() + u"/kervo-dovecot-XXXXXX"_s
                                  : parentFolder + u"/dovecot-XXXXXX"_s) {
    dir_.setAutoRemove(parentFolder.isEmpty());
}

DovecotServer::~DovecotServer() {
    stop();
}

QString DovecotServer::unavailableReason() {
    QStringList packages{u"dovecot-core"_s};
    bool missing =
        dovecotBinary().isEmpty() || QStandardPaths::findExecutable(u"openssl"_s).isEmpty();
    for (const Protocol& protocol : kProtocols) {
        const QString program = QString::fromLatin1(protocol.name);
        packages << QString::fromLatin1(protocol.package);
        missing = missing || (!QFile::exists(u"/usr/lib/dovecot/"_s + program) &&
                              !QFile::exists(u"/usr/libexec/dovecot/"_s + program));
    }
    if (missing || (::geteuid() == 0 && (!::getpwnam("dovecot") || !::getpwnam("dovenull")))) {
        return u"needs openssl and the packages %1, with their users"_s.arg(packages.join(u", "_s));
    }
    return {};
}

int DovecotServer::portOf(int protocol, bool tls) const {
    const auto index = static_cast<size_t>(2 * protocol + (tls ? 1 : 0));
    return index < ports_.size() ? ports_[index].port() : 0;
}

void DovecotServer::stop() {
    // The whole group at once: nothing of this throw-away server needs an orderly shutdown.
    if (const auto group = static_cast<pid_t>(process_.processId()); group > 0) {
        ::kill(-group, SIGKILL);
        process_.waitForFinished(10'000);
    }
}

QString DovecotServer::filledIn(const QString& text) const {
    return QString(text)
        .replace(u"{pops}"_s, QString::number(popsPort()))
        .replace(u"{pop}"_s, QString::number(popPort()))
        .replace(u"{imaps}"_s, QString::number(imapsPort()))
        .replace(u"{imap}"_s, QString::number(imapPort()))
        .replace(u"{cafile}"_s, caFile())
        .replace(u"{pin}"_s, pin());
}

QString DovecotServer::log() const {
    QFile file(dir_.filePath(u"dovecot.log"_s));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool DovecotServer::logShows(const QString& text, int timeoutMs) {
    for (const QDeadlineTimer deadline(timeoutMs);;) {
        if (log().contains(text)) {
            return true;
        }
        // Waiting on the child paces the looks; a server that has ended writes nothing more.
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning ||
            process_.waitForFinished(20)) {
            return log().contains(text);
        }
    }
}

QString DovecotServer::maildir() const {
    return dir_.filePath(u"mail/"_s + QString::fromLatin1(kUser));
}

void DovecotServer::handOver(const QString& path) const {
    (void)::chown(QFile::encodeName(path).constData(), mailUid_, mailGid_);
}

QString DovecotServer::config(const QString& user) const {
    const bool root = ::geteuid() == 0;
    QString config =
        u"base_dir = %1/run\nstate_dir = %1/state\nlog_path = %1/dovecot.log\n"
        "listen = 127.0.0.1\nlogin_greeting = %2\nssl_cert = <%1/cert.pem\n"
        "ssl_key = <%1/key.pem\ndefault_internal_user = %3\ndefault_internal_group = %4\n"
        "default_login_user = %5\nfirst_valid_uid = %6\nauth_mechanisms = plain apop\n"
        "auth_failure_delay = 0\ndisable_plaintext_auth = no\n"
        "mail_location = maildir:%1/mail/%u\n"
        "passdb {\n driver = passwd-file\n args = scheme=PLAIN %1/passwd\n}\n"
        "userdb {\n driver = static\n args = uid=%6 gid=%7 home=%1/home/%u\n}\n"
        "service anvil {\n chroot =\n}\n"_s
            .arg(dir_.path(), greeting_, user,
                 QString::fromLocal8Bit(::getgrgid(mailGid_)->gr_name), root ? u"dovenull"_s : user)
            .arg(mailUid_)
            .arg(mailGid_);
    QStringList protocols;
    for (int p = 0; p < static_cast<int>(std::size(kProtocols)); ++p) {
        const Protocol& protocol = kProtocols[p];
        protocols << QString::fromLatin1(protocol.name);
        config +=
            u"service %1-login {\n chroot =\n inet_listener %2 {\n  port = %3\n }\n"
            " inet_listener %4 {\n  port = %5\n  ssl = yes\n }\n}\n"_s.arg(
                QString::fromLatin1(protocol.name), QString::fromLatin1(protocol.plainName),
                QString::number(portOf(p, false)), QString::fromLatin1(protocol.tlsName),
                QString::number(portOf(p, true)));
    }
    return config + u"protocols = "_s + protocols.join(u' ') + u'\n';
}

Result<void> DovecotServer::start() {
    if (pin_.isEmpty()) {
        // The server refuses to serve logins or mail as root: its own users do then, and they
        // must be able to reach into the temporary folder.
        const passwd* owner = ::geteuid() == 0 ? ::getpwnam("dovecot") : ::getpwuid(::geteuid());
        mailUid_ = owner->pw_uid;
        mailGid_ = owner->pw_gid;
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
        Result<QString> pin = makeCertificate(QDir(dir_.path()));
        if (!pin.ok()) {
            return pin.error();
        }
        pin_ = pin.value();
        for (const QString& path :
             {dir_.filePath(u"home/"_s + QString::fromLatin1(kUser)), maildir() + u"/cur"_s,
              maildir() + u"/new"_s, maildir() + u"/tmp"_s, maildir()}) {
            QDir().mkpath(path);
            handOver(path);
        }
        const QString passwdFile = dir_.filePath(u"passwd"_s);
        if (!writeFile(passwdFile, QByteArray(kUser) + ":{PLAIN}" + kPassword + "::::::\n") ||
            ::chmod(QFile::encodeName(passwdFile).constData(), 0644) != 0) {
            return Error{u"cannot write the password file "_s + passwdFile};
        }
        greeting_ = u"kervo-test-%1"_s.arg(
            static_cast<qulonglong>(QRandomGenerator::system()->generate64()), 16, 16,
            QLatin1Char('0'));
    }
    // A server started again keeps its ports: the client under test still has them. Only a
    // first start may move to other ports when another program took one of them.
    const bool firstStart = ports_.empty();
    for (int attempt = 1;; ++attempt) {
        if (ports_.empty()) {
            ports_.resize(2 * std::size(kProtocols));
        }
        Result<void> launched = launch();
        if (launched.ok() || !firstStart || attempt == 3 || !portTaken_) {
            return launched;
        }
        stop();
        // Fresh ports are taken before the old ones go, so that none comes back.
        std::vector<PortReservation> others(ports_.size());
        ports_.swap(others);
    }
}

Result<void> DovecotServer::launch() {
    portTaken_ = false;
    const QString user = QString::fromLocal8Bit(::getpwuid(mailUid_)->pw_name);
    if (!writeFile(dir_.filePath(u"dovecot.conf"_s), config(user).toUtf8())) {
        return Error{u"cannot write the configuration into "_s + dir_.path()};
    }
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A process group of its own, so that the teardown reaches every child it forks.
    process_.setChildProcessModifier([] { ::setsid(); });
    process_.start(dovecotBinary(), {u"-F"_s, u"-c"_s, dir_.filePath(u"dovecot.conf"_s)});
    return waitUntilGreeting();
}

Result<void> DovecotServer::waitUntilGreeting() {
    // The server binds all its listeners before any login process runs, so its own greeting on
    // each plain listener shows that every port of it, TLS ones included, is its own.
    const QDeadlineTimer deadline(20'000);
    for (int p = 0; p < static_cast<int>(std::size(kProtocols)); ++p) {
        for (;;) {
            // A listener that stays silent is asked again, so that a server that died meanwhile
            // is noticed.
            const QByteArray line = firstLine(
                portOf(p, false), QDeadlineTimer(qMin<qint64>(deadline.remainingTime(), 2000)));
            if (line.startsWith(kProtocols[p].greetingMark) &&
                line.contains(greeting_.toLatin1())) {
                break;
            }
            if (!line.isEmpty()) {
                portTaken_ = true;
                return Error{u"another server answers on port %1: %2"_s.arg(portOf(p, false))
                                 .arg(QString::fromLatin1(line))};
            }
            // Waiting on the child doubles as noticing at once when it gives up.
            if (process_.state() == QProcess::NotRunning || process_.waitForFinished(50)) {
                const QString said = QString::fromLocal8Bit(process_.readAll()) + log();
                portTaken_ = said.contains(u"Address already in use"_s);
                return Error{u"dovecot ended: "_s + said};
            }
            if (deadline.hasExpired()) {
                return Error{u"dovecot does not greet on port %1: "_s.arg(portOf(p, false)) +
                             log()};
            }
        }
    }
    return {};
}

Result<void> DovecotServer::addMail(const QByteArray& content) {
    // The server orders new mails by the time in their names.
    ++delivered_;
    const QString name =
        u"%1.M%2P%3.kervo-test"_s.arg(1'700'000'000 + delivered_).arg(delivered_).arg(::getpid());
    const QString draft = maildir() + u"/tmp/"_s + name;
    if (!writeFile(draft, content)) {
        return Error{u"cannot write "_s + draft};
    }
    handOver(draft);
    if (!QFile::rename(draft, maildir() + u"/new/"_s + name)) {
        return Error{u"cannot move %1 into new/"_s.arg(draft)};
    }
    return {};
}

int DovecotServer::mailCount() const {
    return static_cast<int>(QDir(maildir() + u"/cur"_s).entryList(QDir::Files).size() +
                            QDir(maildir() + u"/new"_s).entryList(QDir::Files).size());
}

void DovecotServer::forgetUids() {
    QDir box(maildir());
    for (const QString& name :
         box.entryList({u"dovecot-uidlist*"_s, u"dovecot.index*"_s}, QDir::Files | QDir::Hidden)) {
        box.remove(name);
    }
}

}  // namespace kervo::test
