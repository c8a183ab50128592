#include "mail/pop/CurlPopConnection.h"

#include <QFileInfo>
#include <optional>

#include "app/TextSafety.h"
#include "mail/pop/PopSession.h"

namespace kervo {

Result<void> CurlPopConnection::open(const ServerAddress& address, const QString& user,
                                     const QString& password, const MailTimeouts& timeouts,
                                     const LogOnMethod& preferred) {
    close();
    method_.clear();
    failedStep_ = OpenStep::LogOn;
    if (!address.caFile.isEmpty() && !QFileInfo(address.caFile).isReadable()) {
        failedStep_ = OpenStep::Tls;
        return Error{QStringLiteral("the CA file %1 for the mail server %2 cannot be read")
                         .arg(displaySafe(address.caFile), address.display())};
    }
    const QByteArray userBytes = user.toUtf8();
    QByteArray secret = password.toUtf8();
    QList<LogOnMethod> tried;
    std::optional<LogOnDialogue> lastSeen;
    QString refusal;
    // Each method is tried at most once; the bound only guards against a server that confuses
    // the record of what was tried.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::optional<LogOnStep> step =
            nextLogOnStep(address.auth, preferred, tried, lastSeen ? &*lastSeen : nullptr);
        if (!step) {
            break;
        }
        LogOnDialogue seen;
        const CurlLogOn logOn =
            step->ownUserPass ? CurlLogOn{} : CurlLogOn{userBytes, secret, step->libraryOptions};
        const Result<void, CurlFailure> connected =
            connect(address, logOn, timeouts, [&seen](QByteArrayView line, bool fromServer) {
                if (fromServer) {
                    seen.serverLine(line);
                } else {
                    seen.clientLine(line);
                }
            });
        if (connected.ok() && !step->ownUserPass) {
            method_ = seen.tried();
            break;
        }
        if (connected.ok()) {
            PopSession session(*this, timeouts, address.display());
            Result<void> loggedOn = session.logOnWithUserPass(userBytes, secret);
            if (loggedOn.ok()) {
                method_ = QStringLiteral("USER/PASS");
                break;
            }
            if (!session.usable()) {
                secret.fill('\0');
                close();
                return loggedOn;
            }
            seen.clientLine("USER");
            refusal = loggedOn.error().message;
        } else if (const CurlFailure& failure = connected.error();
                   failure.code == CURLE_LOGIN_DENIED) {
            refusal =
                seen.tried().isEmpty() ? displaySafe(failure.detail.left(300)) : seen.lastAnswer();
        } else {
            secret.fill('\0');
            failedStep_ = stepOf(failure.code);
            Error error{openErrorText(failure, address)};
            close();
            return error;
        }
        close();
        if (!seen.tried().isEmpty()) {
            tried.append(seen.tried());
        }
        lastSeen = seen;
    }
    // The library keeps its own copy only as long as its handle lives.
    secret.fill('\0');
    if (isOpen()) {
        return {};
    }
    return Error{
        QStringLiteral("the mail server %1 refused the log-on of user \"%2\" (tried %3): %4")
            .arg(address.display(), displaySafe(user),
                 tried.isEmpty() ? QStringLiteral("no method it offers") : tried.join(u", "),
                 refusal)};
}

}  // namespace kervo
