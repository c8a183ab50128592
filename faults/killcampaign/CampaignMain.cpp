// The kill campaign: a private POP3 and IMAP server, a mailbox of mixed mails, and the fetch killed
// at random instants until the trials or the time run out. Exit 0 when no mail was lost or damaged,
// 1 when one was, 77 when no mail server can run here, 2 on a usage error.
#include <sys/stat.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

#include "Campaign.h"
#include "DovecotServer.h"

using namespace kervo::faults;
using kervo::test::DovecotServer;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Kills the mail fetch at random instants and checks that no mail is lost."));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("About 30 trials in well under a minute."));
    const QCommandLineOption trials(QStringLiteral("trials"), QStringLiteral("Trials (300)."),
                                    QStringLiteral("n"));
    const QCommandLineOption minutes(QStringLiteral("minutes"),
                                     QStringLiteral("Time limit in minutes (10)."),
                                     QStringLiteral("m"));
    const QCommandLineOption mails(QStringLiteral("mails"), QStringLiteral("Mails per round (50)."),
                                   QStringLiteral("n"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Random seed (a fresh one by default)."),
                                  QStringLiteral("n"));
    const QCommandLineOption victim(QStringLiteral("victim"),
                                    QStringLiteral("The fetching program to kill."),
                                    QStringLiteral("path"), QStringLiteral(KERVO_KILL_VICTIM));
    const QCommandLineOption keep(QStringLiteral("keep"),
                                  QStringLiteral("Keep the work folder for inspection."));
    const QCommandLineOption imap(QStringLiteral("imap"),
                                  QStringLiteral("Fetch over IMAP instead of POP3."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("One line per trial."));
    parser.addOptions({quick, trials, minutes, mails, seed, victim, keep, imap, verbose});
    parser.process(app);

    QTextStream out(stdout);
    if (const QString reason = DovecotServer::unavailableReason(); !reason.isEmpty()) {
        out << "kill campaign skipped: " << reason << Qt::endl;
        return 77;
    }

    CampaignOptions options;
    if (parser.isSet(quick)) {
        options.trials = 30;
        options.timeLimit = std::chrono::seconds(40);
    }
    bool ok = true;
    const auto number = [&](const QCommandLineOption& option, auto& into) {
        if (parser.isSet(option)) {
            bool valid = false;
            const int value = parser.value(option).toInt(&valid);
            ok = ok && valid && value > 0;
            into = std::remove_reference_t<decltype(into)>(value);
        }
    };
    number(trials, options.trials);
    int limitMinutes = 0;
    number(minutes, limitMinutes);
    if (limitMinutes > 0) {
        options.timeLimit = std::chrono::minutes(limitMinutes);
    }
    number(mails, options.mailsPerRound);
    options.seed = parser.isSet(seed) ? parser.value(seed).toUInt(&ok) : std::random_device{}();
    if (!ok) {
        std::fprintf(stderr, "trials, minutes, mails and seed take positive whole numbers\n");
        return 2;
    }
    options.victim = parser.value(victim);
    options.verbose = parser.isSet(verbose);
    options.imap = parser.isSet(imap);

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/kervo-kill-XXXXXX"));
    work.setAutoRemove(!parser.isSet(keep));
    // As root the server's own unprivileged user must reach the mailbox inside.
    ::chmod(QFile::encodeName(work.path()).constData(), 0755);
    options.workDir = work.path();

    DovecotServer server(work.path());
    if (const kervo::Result<void> started = server.start(); !started.ok()) {
        out << "kill campaign: the mail server does not start: " << started.error().message
            << Qt::endl;
        return 2;
    }
    out << "kill campaign: " << (options.imap ? "IMAP" : "POP3") << ", seed " << options.seed
        << ", up to " << options.trials << " trials or " << options.timeLimit.count() << " s, "
        << options.mailsPerRound << " mails a round" << Qt::endl;
    KillCampaign campaign(options, server, out);
    const CampaignSummary summary = campaign.run();
    server.stop();
    out << "kill campaign: " << summary.describe() << Qt::endl;
    if (!summary.sound()) {
        out << "kill campaign FAILED:" << Qt::endl;
        for (const QString& fault : summary.faults) {
            out << "  " << fault << Qt::endl;
        }
        if (parser.isSet(keep)) {
            out << "work folder kept: " << work.path() << Qt::endl;
        }
        return 1;
    }
    return 0;
}
