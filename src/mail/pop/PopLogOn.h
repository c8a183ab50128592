#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

#include "mail/transport/ServerAddress.h"

namespace kervo {

// A log-on method as the operator reads it: "SASL CRAM-MD5", "APOP" or "USER/PASS".
using LogOnMethod = QString;

// What the server showed before the log-on and what the client tried, read line by line from
// the dialogue the transfer library held. Only the verb of a command is kept (and the mechanism
// of an AUTH), never its arguments, so no secret stays here.
class LogOnDialogue {
  public:
    void serverLine(QByteArrayView line);
    void clientLine(QByteArrayView line);

    // The greeting carries an APOP timestamp, e.g. "+OK ready <1896.697170952@dbc.mtview.ca.us>".
    bool offersApop() const { return apop_; }
    // CAPA lists USER, or the server has no CAPA at all (then USER is all RFC 1939 promises).
    bool offersUser() const { return user_; }
    // The mechanisms of CAPA's SASL line, as the server spells them, e.g. {"CRAM-MD5", "PLAIN"}.
    const QList<QByteArray>& saslMechanisms() const { return sasl_; }
    // The method the client tried last; empty when it tried none.
    const LogOnMethod& tried() const { return tried_; }
    // The server's last status line, fit to be shown.
    QString lastAnswer() const;

  private:
    enum class Expecting { Greeting, Other, CapaStatus, CapaLines };
    Expecting expecting_ = Expecting::Greeting;
    bool apop_ = false;
    bool user_ = false;
    QList<QByteArray> sasl_;
    LogOnMethod tried_;
    QByteArray lastStatus_;
};

// One log-on attempt: either the transfer library logs on with these login options, or it only
// connects (and secures) and the client sends USER and PASS itself.
struct LogOnStep {
    QByteArray libraryOptions;  // e.g. "AUTH=*", "AUTH=+APOP", "AUTH=PLAIN"; empty with ownUserPass
    bool ownUserPass = false;
};

// The next attempt after the methods in `tried` were refused; nothing when none is left. The
// first attempt (nothing tried, no dialogue seen) starts with `preferred` when it is known (the
// method that worked last time), otherwise lets the library pick the strongest one offered.
// With auth=any a refused method makes way for the next one the server offers: one SASL
// mechanism that works with a password, then APOP, then USER/PASS, each at most once. A forced
// method is tried alone.
std::optional<LogOnStep> nextLogOnStep(MailAuth auth, const LogOnMethod& preferred,
                                       const QList<LogOnMethod>& tried, const LogOnDialogue* seen);

}  // namespace kervo
