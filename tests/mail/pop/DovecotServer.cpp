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

namespace {

QString dovecotBinary() {
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("dovecot"));
    if (!inPath.isEmpty()) {
        return inPath;
    }
    return QStandardPaths::findExecutable(
        QStringLiteral("dovecot"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

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

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs a tool to its end; its standard output, or nothing with the reason in why.
std::optional<QByteArray> run(const QString& program, const QStringList& arguments,
                              const QByteArray& input, QString& why) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForStarted(10'000)) {
        why = program + QStringLiteral(" cannot be started");
        return std::nullopt;
    }
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60'000) || tool.exitCode() != 0) {
        why = program + QStringLiteral(" failed: ") +
              QString::fromLocal8Bit(tool.readAllStandardError());
        return std::nullopt;
    }
    return tool.readAllStandardOutput();
}

}  // namespace

QString DovecotServer::unavailableReason() {
    if (dovecotBinary().isEmpty()) {
        return QStringLiteral("dovecot is not installed (packages dovecot-core, dovecot-pop3d)");
    }
    if (!QFile::exists(QStringLiteral("/usr/lib/dovecot/pop3")) &&
        !QFile::exists(QStringLiteral("/usr/libexec/dovecot/pop3"))) {
        return QStringLiteral("the dovecot POP3 server is not installed (package dovecot-pop3d)");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
        return QStringLiteral("openssl is not installed");
    }
    if (::geteuid() == 0 &&
        (::getpwnam("dovecot") == nullptr || ::getpwnam("dovenull") == nullptr)) {
        return QStringLiteral("the users dovecot and dovenull are missing");
    }
    return {};
}

DovecotServer::~DovecotServer() {
    stop();
}

void DovecotServer::stop() {
    if (process_.state() != QProcess::NotRunning) {
        // The whole group at once: an orderly shutdown waits a second for its children, and
        // nothing of this throw-away server needs saving.
        const pid_t group = static_cast<pid_t>(process_.processId());
        if (group > 0) {
            ::kill(-group, SIGKILL);
        }
        if (!process_.waitForFinished(10'000)) {
            process_.kill();
            process_.waitForFinished(5'000);
        }
    }
}

QString DovecotServer::log() const {
    QFile file(dir_.filePath(QStringLiteral("dovecot.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DovecotServer::maildir() const {
    return dir_.filePath(QStringLiteral("mail/") + QString::fromLatin1(kUser));
}

void DovecotServer::handOver(const QString& path) const {
    if (mailUid_ >= 0) {
        (void)::chown(QFile::encodeName(path).constData(), static_cast<uid_t>(mailUid_),
                      static_cast<gid_t>(mailGid_));
    }
}

bool DovecotServer::makeCertificate(QString& why) {
    const QString key = dir_.filePath(QStringLiteral("key.pem"));
    if (!run(QStringLiteral("openssl"),
             {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
              QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
              QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
              QStringLiteral("-keyout"), key, QStringLiteral("-out"), caFile(),
              QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
              QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
              QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")},
             {}, why)) {
        return false;
    }
    const std::optional<QByteArray> publicPem =
        run(QStringLiteral("openssl"),
            {QStringLiteral("x509"), QStringLiteral("-in"), caFile(), QStringLiteral("-pubkey"),
             QStringLiteral("-noout")},
            {}, why);
    if (!publicPem) {
        return false;
    }
    const std::optional<QByteArray> publicDer =
        run(QStringLiteral("openssl"),
            {QStringLiteral("pkey"), QStringLiteral("-pubin"), QStringLiteral("-outform"),
             QStringLiteral("der")},
            *publicPem, why);
    if (!publicDer) {
        return false;
    }
    pin_ = QStringLiteral("sha256//") +
           QString::fromLatin1(
               QCryptographicHash::hash(*publicDer, QCryptographicHash::Sha256).toBase64());
    return true;
}

bool DovecotServer::start(QString& why) {
    if (!dir_.isValid()) {
        why = QStringLiteral("no temporary folder");
        return false;
    }
    QString internalUser;
    QString internalGroup;
    QString loginUser;
    if (::geteuid() == 0) {
        // The server refuses to serve logins or mail as root; its own users do that, and they
        // must be able to reach into the temporary folder.
        const passwd* dovecot = ::getpwnam("dovecot");
        internalUser = QStringLiteral("dovecot");
        internalGroup = QString::fromLocal8Bit(::getgrgid(dovecot->pw_gid)->gr_name);
        loginUser = QStringLiteral("dovenull");
        mailUid_ = static_cast<int>(dovecot->pw_uid);
        mailGid_ = static_cast<int>(dovecot->pw_gid);
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    } else {
        internalUser = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        internalGroup = QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name);
        loginUser = internalUser;
    }
    const int uid = mailUid_ >= 0 ? mailUid_ : static_cast<int>(::geteuid());
    const int gid = mailGid_ >= 0 ? mailGid_ : static_cast<int>(::getegid());

    if (!makeCertificate(why)) {
        return false;
    }
    for (const char* sub : {"mail", "home", "run", "state"}) {
        QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
    }
    for (const char* part : {"", "/cur", "/new", "/tmp"}) {
        QDir().mkpath(maildir() + QString::fromLatin1(part));
        handOver(maildir() + QString::fromLatin1(part));
    }
    const QString home = dir_.filePath(QStringLiteral("home/") + QString::fromLatin1(kUser));
    QDir().mkpath(home);
    handOver(home);

    const QString passwdFile = dir_.filePath(QStringLiteral("passwd"));
    if (!writeFile(passwdFile, QByteArray(kUser) + ":{PLAIN}" + kPassword + "::::::\n")) {
        why = QStringLiteral("cannot write the password file");
        return false;
    }
    ::chmod(QFile::encodeName(passwdFile).constData(), 0644);

    // A server started again keeps its ports: the client under test still has them.
    if (popPort_ == 0) {
        popPort_ = freePort();
        popsPort_ = freePort();
    }
    const QString d = dir_.path();
    const QString config =
        QStringLiteral(
            "base_dir = %1/run\n"
            "state_dir = %1/state\n"
            "log_path = %1/dovecot.log\n"
            "instance_name = kervo-pop-test\n"
            "protocols = pop3\n"
            "listen = 127.0.0.1\n"
            "ssl = yes\n"
            "ssl_cert = <%1/cert.pem\n"
            "ssl_key = <%1/key.pem\n"
            "ssl_min_protocol = TLSv1.2\n"
            "default_internal_user = %2\n"
            "default_internal_group = %3\n"
            "default_login_user = %4\n"
            "first_valid_uid = %5\n"
            "auth_mechanisms = plain apop\n"
            "auth_failure_delay = 0\n"
            "disable_plaintext_auth = no\n"
            "mail_location = maildir:%1/mail/%u\n"
            "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/passwd\n}\n"
            "userdb {\n  driver = static\n  args = uid=%5 gid=%6 home=%1/home/%u\n}\n"
            "service anvil {\n  chroot =\n}\n"
            "service pop3-login {\n  chroot =\n"
            "  inet_listener pop3 {\n    port = %7\n  }\n"
            "  inet_listener pop3s {\n    port = %8\n    ssl = yes\n  }\n}\n")
            .arg(d, internalUser, internalGroup, loginUser)
            .arg(uid)
            .arg(gid)
            .arg(popPort_)
            .arg(popsPort_);
    const QString configFile = dir_.filePath(QStringLiteral("dovecot.conf"));
    if (!writeFile(configFile, config.toUtf8())) {
        why = QStringLiteral("cannot write the configuration");
        return false;
    }
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A process group of its own, so that the teardown reaches every child it forks.
    process_.setChildProcessModifier([] { ::setsid(); });
    process_.start(dovecotBinary(), {QStringLiteral("-F"), QStringLiteral("-c"), configFile});
    if (!process_.waitForStarted(10'000)) {
        why = QStringLiteral("dovecot cannot be started");
        return false;
    }
    return waitUntilListening(why);
}

bool DovecotServer::waitUntilListening(QString& why) {
    const QDeadlineTimer deadline(20'000);
    while (!deadline.hasExpired()) {
        if (accepts(popPort_) && accepts(popsPort_)) {
            return true;
        }
        // Waiting on the child doubles as noticing at once when it gives up.
        if (process_.waitForFinished(50)) {
            why = QStringLiteral("dovecot ended: ") + QString::fromLocal8Bit(process_.readAll()) +
                  log();
            return false;
        }
    }
    why = QStringLiteral("dovecot does not listen: ") + log();
    return false;
}

bool DovecotServer::addMail(const QByteArray& content) {
    // The server orders new mails by the time in their names.
    ++delivered_;
    const QString name = QStringLiteral("%1.M%2P%3.kervo-test")
                             .arg(1'700'000'000 + delivered_)
                             .arg(delivered_)
                             .arg(::getpid());
    const QString draft = maildir() + QStringLiteral("/tmp/") + name;
    const QString final = maildir() + QStringLiteral("/new/") + name;
    if (!writeFile(draft, content)) {
        return false;
    }
    handOver(draft);
    return QFile::rename(draft, final);
}

int DovecotServer::mailCount() const {
    int count = 0;
    for (const char* part : {"/cur", "/new"}) {
        count += static_cast<int>(
            QDir(maildir() + QString::fromLatin1(part)).entryList(QDir::Files).size());
    }
    return count;
}

}  // namespace kervo::test
