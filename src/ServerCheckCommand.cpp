#include "ServerCheckCommand.h"

#include "app/TextSafety.h"
#include "mail/imap/ImapServerCheck.h"
#include "mail/pop/ServerCheck.h"
#include "settings/Settings.h"

namespace kervo {

namespace {

QString stepName(const ServerCheckFailure& failure) {
    if (failure.mailbox) {
        return QStringLiteral("counting the mails");
    }
    switch (failure.step) {
        case OpenStep::NameResolution:
            return QStringLiteral("name resolution");
        case OpenStep::Connection:
            return QStringLiteral("connection");
        case OpenStep::Tls:
            return QStringLiteral("TLS");
        case OpenStep::LogOn:
            break;
    }
    return QStringLiteral("log-on");
}

void printCertificate(const CertificateFacts& certificate, QTextStream& out) {
    out << QStringLiteral("  subject: %1\n").arg(certificate.subject);
    out << QStringLiteral("  issuer: %1\n").arg(certificate.issuer);
    out << QStringLiteral("  expires: %1\n").arg(certificate.expires);
    out << QStringLiteral("  public key pin: pin=%1\n").arg(certificate.pin);
}

void printReport(const ServerCheckReport& report, const QString& user, QTextStream& out) {
    const ConnectionFacts& connection = report.connection;
    out << QStringLiteral("Address: %1\n").arg(connection.peer);
    out << QStringLiteral("TLS: %1\n")
               .arg(connection.tlsVersion.isEmpty() ? QStringLiteral("none (plain text)")
                                                    : connection.tlsVersion);
    if (connection.certificate) {
        out << "Certificate:\n";
        printCertificate(*connection.certificate, out);
    }
    out << QStringLiteral("Logged on as \"%1\" with %2\n").arg(displaySafe(user), report.method);
    out << QStringLiteral("Waiting: %1 mails, %2 bytes\n")
               .arg(report.waiting.mails)
               .arg(report.waiting.bytes);
    out << "Nothing was fetched or deleted.\n";
}

}  // namespace

int runServerCheckCommand(const QDir& dir, QTextStream& out, QTextStream& err) {
    const Result<LoadedSettings, SettingsError> loaded = readSettings(dir);
    if (!loaded.ok()) {
        err << QStringLiteral("error: %1\n").arg(oneLine(loaded.error().toText()));
        err.flush();
        return 2;
    }
    const Settings& settings = loaded.value().settings;
    const MailAccount account{settings.mailServer, settings.mailUser, settings.mailPassword};
    out << QStringLiteral("Mail server: %1\n")
               .arg(oneLine(withoutUserInfo(settings.mailServer.trimmed())));
    out.flush();
    const Result<ServerAddress> parsed = parseServerAddress(settings.mailServer);
    if (!parsed.ok() || account.user.isEmpty()) {
        err << QStringLiteral("error: %1, line %2: %3\n")
                   .arg(QString::fromUtf16(kKervoIni))
                   .arg(parsed.ok() ? 7 : 6)
                   .arg(parsed.ok() ? QStringLiteral("no mail user is set")
                                    : oneLine(parsed.error().message));
        err.flush();
        return 2;
    }
    const Result<ServerCheckReport, ServerCheckFailure> checked =
        parsed.value().protocol == MailProtocol::Imap
            ? checkImapServer(parsed.value(), account, MailTimeouts{})
            : checkServer(parsed.value(), account, MailTimeouts{});
    if (checked.ok()) {
        printReport(checked.value(), account.user, out);
        out.flush();
        return 0;
    }
    const ServerCheckFailure& failure = checked.error();
    err << QStringLiteral("failed at %1: %2\n").arg(stepName(failure), oneLine(failure.message));
    if (failure.presented) {
        err << "The server presented this certificate, which was not accepted:\n";
        printCertificate(*failure.presented, err);
    }
    err.flush();
    return 1;
}

}  // namespace kervo
