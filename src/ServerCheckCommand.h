#pragma once

#include <QDir>
#include <QTextStream>

namespace kervo {

// kervo --check-server: reads the settings in dir as the start-up does, then logs on to the
// mail server exactly as a poll does and prints what it showed (address, TLS version,
// certificate with its pin, log-on method) and how many mails wait; or the step that failed
// with the server's answer. Fetches and deletes nothing; never prints the password.
// Returns 0 when the server works, 1 when it does not, 2 when the settings are bad.
int runServerCheckCommand(const QDir& dir, QTextStream& out, QTextStream& err);

}  // namespace kervo
