#include "mail/pop/PopLogOn.h"

#include "app/TextSafety.h"

namespace kervo {

namespace {

const LogOnMethod kApop = QStringLiteral("APOP");
const LogOnMethod kUserPass = QStringLiteral("USER/PASS");

// SASL mechanisms that need nothing but the user name and the password, strongest first, as the
// transfer library ranks them.
const QList<QByteArray> kPasswordMechanisms = {"DIGEST-MD5", "CRAM-MD5", "NTLM", "PLAIN", "LOGIN"};

QByteArray firstWord(QByteArrayView line, qsizetype& end) {
    const QByteArray trimmed = line.trimmed().toByteArray();
    end = trimmed.indexOf(' ');
    return (end < 0 ? trimmed : trimmed.left(end)).toUpper();
}

LogOnMethod saslMethod(const QByteArray& mechanism) {
    return QStringLiteral("SASL ") + QString::fromLatin1(mechanism);
}

std::optional<LogOnStep> stepFor(const LogOnMethod& method) {
    if (method == kUserPass) {
        return LogOnStep{{}, true};
    }
    if (method == kApop) {
        return LogOnStep{"AUTH=+APOP", false};
    }
    if (method.startsWith(u"SASL ")) {
        return LogOnStep{"AUTH=" + method.mid(5).toLatin1(), false};
    }
    return std::nullopt;
}

}  // namespace

void LogOnDialogue::serverLine(QByteArrayView raw) {
    const QByteArray line = raw.trimmed().toByteArray();
    const bool status = line.startsWith("+OK") || line.startsWith("-ERR");
    if (status) {
        lastStatus_ = line.left(200);
    }
    switch (expecting_) {
        case Expecting::Greeting:
            if (status) {
                // RFC 1939: the timestamp is a msg-id, "<" ... "@" ... ">".
                const qsizetype open = line.indexOf('<');
                const qsizetype at = line.indexOf('@', open + 1);
                apop_ = open >= 0 && at > open && line.indexOf('>', at + 1) > at;
                expecting_ = Expecting::Other;
            }
            break;
        case Expecting::CapaStatus:
            if (line.startsWith("-ERR")) {
                user_ = true;  // no capabilities to go by
                expecting_ = Expecting::Other;
            } else if (status) {
                expecting_ = Expecting::CapaLines;
            }
            break;
        case Expecting::CapaLines:
            if (line == ".") {
                expecting_ = Expecting::Other;
            } else if (line.toUpper() == "USER") {
                user_ = true;
            } else if (line.toUpper().startsWith("SASL ")) {
                sasl_ = line.mid(5).simplified().toUpper().split(' ');
            }
            break;
        case Expecting::Other:
            break;
    }
}

void LogOnDialogue::clientLine(QByteArrayView line) {
    qsizetype end = 0;
    const QByteArray verb = firstWord(line, end);
    if (verb == "CAPA") {
        // After STLS the capabilities are asked again and only the new answer counts.
        user_ = false;
        sasl_.clear();
        expecting_ = Expecting::CapaStatus;
    } else if (verb == "APOP") {
        tried_ = kApop;
    } else if (verb == "USER") {
        tried_ = kUserPass;
    } else if (verb == "AUTH" && end > 0) {
        qsizetype after = 0;
        const QByteArray rest = line.trimmed().toByteArray().mid(end + 1);
        tried_ = saslMethod(firstWord(rest, after));
    }
}

QString LogOnDialogue::lastAnswer() const {
    return oneLine(QString::fromUtf8(lastStatus_));
}

std::optional<LogOnStep> nextLogOnStep(MailAuth auth, const LogOnMethod& preferred,
                                       const QList<LogOnMethod>& tried, const LogOnDialogue* seen) {
    if (auth != MailAuth::Any) {
        if (!tried.isEmpty() || seen != nullptr) {
            return std::nullopt;
        }
        switch (auth) {
            case MailAuth::Apop:
                return stepFor(kApop);
            case MailAuth::Plain:
                return stepFor(saslMethod("PLAIN"));
            case MailAuth::User:
                return stepFor(kUserPass);
            case MailAuth::Any:
                break;
        }
        return std::nullopt;
    }
    if (seen == nullptr) {
        if (const std::optional<LogOnStep> step = stepFor(preferred)) {
            return step;
        }
        return LogOnStep{"AUTH=*", false};
    }
    QList<LogOnMethod> offered;
    for (const QByteArray& mechanism : kPasswordMechanisms) {
        if (seen->saslMechanisms().contains(mechanism)) {
            offered.append(saslMethod(mechanism));
            break;
        }
    }
    if (seen->offersApop()) {
        offered.append(kApop);
    }
    if (seen->offersUser()) {
        offered.append(kUserPass);
    }
    for (const LogOnMethod& method : offered) {
        if (!tried.contains(method)) {
            return stepFor(method);
        }
    }
    return std::nullopt;
}

}  // namespace kervo
