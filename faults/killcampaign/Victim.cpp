// The program the kill campaign kills: one fetch of the mailbox into a mail folder, as the
// monitor's poll runs it.
//   kervo_kill_victim SERVER USER FOLDER     (password in KERVO_CAMPAIGN_PASSWORD)
// Exits 0 when the fetch succeeded, 1 when it reported an error.
#include <QCoreApplication>
#include <cstdio>

#include "mail/pop/PopMailbox.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: kervo_kill_victim SERVER USER FOLDER\n");
        return 2;
    }
    kervo::PopMailbox mailbox(args[3]);
    mailbox.setTimeouts(kervo::PopTimeouts{5'000, 10'000, 10'000});
    const kervo::FetchOutcome result =
        mailbox.fetchAll({args[1], args[2], qEnvironmentVariable("KERVO_CAMPAIGN_PASSWORD")});
    std::printf("%lld saved\n", static_cast<long long>(result.files.size()));
    if (!result.ended.ok()) {
        std::fprintf(stderr, "%s\n", result.ended.error().message.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
