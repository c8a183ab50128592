#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <chrono>
#include <map>
#include <optional>
#include <random>

#include "MailboxCheck.h"
#include "VictimRun.h"

namespace kervo::test {
class DovecotServer;
}

namespace kervo::faults {

struct CampaignOptions {
    int trials = 300;
    std::chrono::seconds timeLimit{600};
    int mailsPerRound = 50;
    double cleanRunChance = 0.3;  // after a kill, how often a whole fetch follows
    // How often the fetch is killed at a chosen step inside a batch rather than at a random time.
    double stepKillChance = 0.5;
    int batchMails = 20;  // so that a round's mails come in several batches
    quint32 seed = 1;
    bool imap = false;  // the fetch empties the server's mailbox over IMAP instead of POP3
    QString victim;
    QString workDir;  // the monitor's mail folder and the victim's output go here
    bool verbose = false;
};

struct CampaignSummary {
    int trials = 0;
    int killed = 0;
    int finishedFirst = 0;  // the fetch ended before its kill was due
    int victimErrors = 0;   // fetches that ended by themselves with an error
    int cleanRuns = 0;
    int failedRecoveries = 0;  // a whole fetch after a kill that did not succeed
    int rounds = 0;
    int mails = 0;
    int lost = 0;
    int damaged = 0;
    int strays = 0;
    int duplicates = 0;
    std::map<QString, int> landings;  // where the kills landed
    QStringList faults;               // what went wrong, the first few

    bool sound() const { return faults.isEmpty() && failedRecoveries == 0 && nothingLost(); }
    bool nothingLost() const { return lost == 0 && damaged == 0 && strays == 0; }
    void fault(const QString& what);
    QString describe() const;
};

// Fetches the mailbox again and again, killing the fetch at random instants, and checks after
// every kill that each mail is still on the server or saved whole in the mail folder. Half the
// kills come at a random time, half at a chosen step inside a batch: after the N-th mail was
// received while later RETRs are in flight, after the N-th move into new/, after the ids were
// recorded, or after the N-th DELE was accepted. Mails
// come in rounds: a round's mails are delivered together and the round ends once the server
// holds none of them; its saved copies are then counted for duplicates and cleared away.
class KillCampaign {
  public:
    KillCampaign(CampaignOptions options, test::DovecotServer& server, QTextStream& log);
    CampaignSummary run();

  private:
    bool startRound();
    bool calibrate();
    Verdict check();
    bool record(const Verdict& verdict, const QString& after);
    void endRound(const Verdict& verdict);
    VictimOutcome fetch(std::optional<std::chrono::microseconds> killAfter,
                        const QString& killAt = {});
    bool cleanFetch(const QString& after, int waiting);
    bool fetchOnce(const QString& after, int waiting);
    QString removeLeftLock();
    int waitingMails(const Verdict& last) const;
    void learn(const VictimOutcome& outcome, int waiting);
    std::chrono::microseconds killDelay(int waiting);
    QString mailFolder() const;

    CampaignOptions options_;
    test::DovecotServer& server_;
    QTextStream& log_;
    std::mt19937 random_;
    CampaignSummary summary_;
    QMap<int, QByteArray> expected_;  // the round's mails as they must be saved
    int nextSeq_ = 1;
    double emptyFetchUs_ = 50'000;  // a fetch with nothing to fetch: start, log-on, QUIT
    double perMailUs_ = 5'000;      // and what each mail adds
};

}  // namespace kervo::faults
