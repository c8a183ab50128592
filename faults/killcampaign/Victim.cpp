// The program the kill campaign kills: one fetch of the mailbox into a mail folder, as the
// monitor's poll runs it.
//   kervo_kill_victim SERVER USER FOLDER     (password in KERVO_CAMPAIGN_PASSWORD)
// SERVER is line 6 of kervo.ini; an imap:// one is fetched over IMAP.
// KERVO_CAMPAIGN_BATCH sets the mails per batch. KERVO_CAMPAIGN_KILL_AT="STEP N" makes the
// fetch kill itself at the N-th step of the fetch's trace that begins with STEP ("received",
// "move into new/", "deleted", ...): an instant inside a batch that a kill from outside at a
// random time seldom hits.
// Exits 0 when the fetch succeeded, 1 when it reported an error.
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <memory>

#include "mail/imap/ImapMailbox.h"
#include "mail/pop/PopMailbox.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: kervo_kill_victim SERVER USER FOLDER\n");
        return 2;
    }
    std::unique_ptr<kervo::FolderMailbox> chosen;
    if (args[1].startsWith(u"imap")) {
        chosen = std::make_unique<kervo::ImapMailbox>(args[3]);
    } else {
        chosen = std::make_unique<kervo::PopMailbox>(args[3]);
    }
    kervo::FolderMailbox& mailbox = *chosen;
    mailbox.setTimeouts(kervo::MailTimeouts{5'000, 10'000, 10'000});
    if (const int batch = qEnvironmentVariableIntValue("KERVO_CAMPAIGN_BATCH"); batch > 0) {
        mailbox.setBatchMails(batch);
    }
    const QString killAt = qEnvironmentVariable("KERVO_CAMPAIGN_KILL_AT");
    const qsizetype space = killAt.lastIndexOf(u' ');
    const QString killStep = killAt.left(space);
    int killCountdown = space > 0 ? killAt.mid(space + 1).toInt() : 0;
    if (killCountdown > 0) {
        mailbox.setTrace([&](const QString& step) {
            if (step.startsWith(killStep) && --killCountdown == 0) {
                std::raise(SIGKILL);
            }
        });
    }
    const kervo::FetchOutcome result =
        mailbox.fetchAll({args[1], args[2], qEnvironmentVariable("KERVO_CAMPAIGN_PASSWORD")});
    std::printf("%lld saved\n", static_cast<long long>(result.files.size()));
    if (!result.ended.ok()) {
        std::fprintf(stderr, "%s\n", result.ended.error().message.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
