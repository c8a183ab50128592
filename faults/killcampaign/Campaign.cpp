#include "Campaign.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include "CampaignMail.h"
#include "DovecotServer.h"

namespace kervo::faults {

namespace {

using std::chrono::microseconds;

const QString kBeforeSave = QStringLiteral("before the first save");
const QString kWriting = QStringLiteral("while a mail was written");
const QString kBeforeQuit = QStringLiteral("between a save and QUIT");
const QString kAfterQuit = QStringLiteral("after QUIT");

QString endText(const VictimOutcome& outcome) {
    switch (outcome.end) {
        case VictimOutcome::End::Exited:
            return QStringLiteral("exit %1").arg(outcome.exitCode);
        case VictimOutcome::End::Killed:
            return QStringLiteral("killed");
        case VictimOutcome::End::Crashed:
            return QStringLiteral("crashed with signal %1").arg(outcome.signal);
        case VictimOutcome::End::NotStarted:
            break;
    }
    return QStringLiteral("not started");
}

QSet<QString> names(const QList<SavedMail>& saved) {
    QSet<QString> out;
    for (const SavedMail& mail : saved) {
        out.insert(mail.name);
    }
    return out;
}

}  // namespace

void CampaignSummary::fault(const QString& what) {
    if (faults.size() < 20) {
        faults.append(what);
    }
}

QString CampaignSummary::describe() const {
    QStringList where;
    for (const auto& [place, count] : landings) {
        where.append(QStringLiteral("%1 %2").arg(place).arg(count));
    }
    return QStringLiteral(
               "%1 trials (%2 killed, %3 finished first, %4 fetch errors), %5 clean "
               "runs, %6 rounds, %7 mails: %8 lost, %9 damaged, %10 stray, %11 "
               "duplicates, %12 failed recoveries; kills landed: %13")
        .arg(trials)
        .arg(killed)
        .arg(finishedFirst)
        .arg(victimErrors)
        .arg(cleanRuns)
        .arg(rounds)
        .arg(mails)
        .arg(lost)
        .arg(damaged)
        .arg(strays)
        .arg(duplicates)
        .arg(failedRecoveries)
        .arg(where.join(QStringLiteral(", ")));
}

KillCampaign::KillCampaign(CampaignOptions options, test::DovecotServer& server, QTextStream& log)
    : options_(std::move(options)), server_(server), log_(log), random_(options_.seed) {
    // The fetching program takes the password from its environment, not its command line.
    qputenv("KERVO_CAMPAIGN_PASSWORD", test::DovecotServer::kPassword);
    qputenv("KERVO_CAMPAIGN_BATCH", QByteArray::number(options_.batchMails));
}

QString KillCampaign::mailFolder() const {
    return options_.workDir + QStringLiteral("/mail");
}

VictimOutcome KillCampaign::fetch(std::optional<microseconds> killAfter, const QString& killAt) {
    // The fetching program is started with the environment as it stands.
    qputenv("KERVO_CAMPAIGN_KILL_AT", killAt.toUtf8());
    VictimOutcome outcome = runVictim(
        options_.victim,
        {options_.imap ? QStringLiteral("imap://127.0.0.1:%1").arg(server_.imapPort())
                       : QStringLiteral("127.0.0.1:%1").arg(server_.popPort()),
         QString::fromLatin1(test::DovecotServer::kUser), mailFolder()},
        options_.workDir + QStringLiteral("/victim.out"), killAfter, std::chrono::seconds(60));
    qunsetenv("KERVO_CAMPAIGN_KILL_AT");
    return outcome;
}

bool KillCampaign::startRound() {
    expected_.clear();
    const quint32 salt = random_();
    for (const qsizetype size : mixedSizes(options_.mailsPerRound, random_)) {
        const int seq = nextSeq_++;
        const QByteArray mail = campaignMail(seq, size, salt);
        if (const Result<void> delivered = server_.addMail(mail); !delivered.ok()) {
            summary_.fault(delivered.error().message);
            return false;
        }
        expected_.insert(seq, asFetched(mail));
    }
    summary_.mails += options_.mailsPerRound;
    ++summary_.rounds;
    return true;
}

Verdict KillCampaign::check() {
    // The server may be expunging or renaming files of its mailbox while it is read; a mail
    // that seems lost is looked for again before it counts.
    Verdict verdict;
    for (int attempt = 0; attempt < 40; ++attempt) {
        verdict = judge(expected_, numbersInMaildir(server_.maildir()), savedMails(mailFolder()));
        if (verdict.lost.isEmpty()) {
            break;
        }
        QThread::msleep(50);
    }
    return verdict;
}

bool KillCampaign::record(const Verdict& verdict, const QString& after) {
    if (verdict.sound()) {
        return true;
    }
    summary_.lost += int(verdict.lost.size());
    summary_.damaged += int(verdict.damaged.size());
    summary_.strays += int(verdict.strays.size());
    summary_.fault(after + QStringLiteral(": ") + verdict.describe());
    return false;
}

void KillCampaign::endRound(const Verdict& verdict) {
    summary_.duplicates += verdict.duplicates();
    // What the purge does once the mails are analysed.
    for (const char* part : {"/new", "/cur"}) {
        QDir dir(mailFolder() + QLatin1StringView(part));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
            dir.remove(name);
        }
    }
}

bool KillCampaign::fetchOnce(const QString& after, int waiting) {
    ++summary_.cleanRuns;
    const VictimOutcome outcome = fetch(std::nullopt);
    learn(outcome, waiting);
    if (outcome.end == VictimOutcome::End::Exited && outcome.exitCode == 0) {
        return true;
    }
    summary_.fault(QStringLiteral("the whole fetch %1 ended with %2: %3")
                       .arg(after, endText(outcome), outcome.output.simplified()));
    return false;
}

QString KillCampaign::removeLeftLock() {
    // The fetch's lock and the helper lock taken while a stale one is removed.
    QDir meta(mailFolder() + QStringLiteral("/meta"));
    QStringList removed;
    for (const QString& name : meta.entryList({QStringLiteral("fetch.lock*")}, QDir::Files)) {
        QFile lock(meta.filePath(name));
        QByteArray content = lock.open(QIODevice::ReadOnly) ? lock.readAll() : QByteArray();
        lock.close();
        const qint64 age = QFileInfo(lock).lastModified().secsTo(QDateTime::currentDateTime());
        if (lock.remove()) {
            removed.append(QStringLiteral("%1 (%2 bytes, %3 s old%4)")
                               .arg(name)
                               .arg(content.size())
                               .arg(age)
                               .arg(content.isEmpty()
                                        ? QString()
                                        : QStringLiteral(": ") +
                                              QString::fromLatin1(content.replace('\n', ' '))));
        }
    }
    return removed.isEmpty() ? QString()
                             : QStringLiteral("removed what killed fetches left: ") +
                                   removed.join(QStringLiteral(", "));
}

bool KillCampaign::cleanFetch(const QString& after, int waiting) {
    if (fetchOnce(after, waiting)) {
        return true;
    }
    ++summary_.failedRecoveries;
    // The monitor would stay stuck here; an operator would clear the lock by hand. Doing the
    // same lets the campaign go on looking for lost mail.
    const QString repair = removeLeftLock();
    if (repair.isEmpty()) {
        return false;
    }
    summary_.fault(repair);
    return fetchOnce(after + QStringLiteral(" once the lock was cleared"), waiting);
}

bool KillCampaign::calibrate() {
    // Times a fetch of an empty mailbox and of a full one, so that the kills can be spread
    // over a whole fetch however fast this machine's disk is.
    const VictimOutcome empty = fetch(std::nullopt);
    if (!startRound()) {
        return false;
    }
    const VictimOutcome full = fetch(std::nullopt);
    for (const VictimOutcome* outcome : {&empty, &full}) {
        if (outcome->end != VictimOutcome::End::Exited || outcome->exitCode != 0) {
            summary_.fault(QStringLiteral("the first fetches fail (%1): %2")
                               .arg(endText(*outcome), outcome->output));
            return false;
        }
    }
    emptyFetchUs_ = double(empty.ran.count());
    perMailUs_ = std::max(100.0, double((full.ran - empty.ran).count()) / options_.mailsPerRound);
    log_ << QStringLiteral("calibration: empty fetch %1 ms, %2 ms per mail")
                .arg(emptyFetchUs_ / 1000, 0, 'f', 1)
                .arg(perMailUs_ / 1000, 0, 'f', 1)
         << Qt::endl;
    const Verdict verdict = check();
    if (!record(verdict, QStringLiteral("the first whole fetch"))) {
        return false;
    }
    if (verdict.saves.size() != expected_.size() || verdict.onBoth != 0) {
        summary_.fault(QStringLiteral("the first whole fetch left mails on the server"));
        return false;
    }
    endRound(verdict);
    return startRound();
}

int KillCampaign::waitingMails(const Verdict& last) const {
    int waiting = 0;
    const QSet<int> onServer = numbersInMaildir(server_.maildir());
    for (auto it = expected_.cbegin(); it != expected_.cend(); ++it) {
        waiting += onServer.contains(it.key()) && !last.saves.contains(it.key()) ? 1 : 0;
    }
    return waiting;
}

void KillCampaign::learn(const VictimOutcome& outcome, int waiting) {
    // A fetch that ran to its end tells how long a mail takes now; the disk's pace drifts.
    if (outcome.end == VictimOutcome::End::Exited && outcome.exitCode == 0 && waiting >= 5) {
        const double sample = double(outcome.ran.count() - emptyFetchUs_) / waiting;
        perMailUs_ = std::max(100.0, 0.7 * perMailUs_ + 0.3 * sample);
    }
}

microseconds KillCampaign::killDelay(int waiting) {
    // A little beyond the expected end, so that some kills find the fetch already done.
    const double span = 1.15 * (emptyFetchUs_ + perMailUs_ * waiting);
    return microseconds(
        static_cast<long long>(std::uniform_real_distribution<double>(0, span)(random_)));
}

CampaignSummary KillCampaign::run() {
    QDir().mkpath(mailFolder());
    if (!calibrate()) {
        return summary_;
    }
    QElapsedTimer clock;
    clock.start();
    Verdict last = check();
    std::bernoulli_distribution cleanAfter(options_.cleanRunChance);
    std::bernoulli_distribution atStep(options_.stepKillChance);
    // The steps of the fetch's trace a kill may be aimed at, and whether a fetch takes each once
    // a batch or once a mail.
    struct Step {
        QString name;
        bool perBatch;
    };
    const std::vector<Step> steps =
        options_.imap ? std::vector<Step>{{QStringLiteral("received"), false},
                                          {QStringLiteral("move into new/"), false},
                                          {QStringLiteral("record uids"), true},
                                          {QStringLiteral("STORE"), true},
                                          {QStringLiteral("EXPUNGE"), true}}
                      : std::vector<Step>{{QStringLiteral("received"), false},
                                          {QStringLiteral("move into new/"), false},
                                          {QStringLiteral("record ids"), true},
                                          {QStringLiteral("deleted"), false}};
    while (summary_.trials < options_.trials &&
           clock.elapsed() < std::chrono::milliseconds(options_.timeLimit).count()) {
        const int trial = ++summary_.trials;
        const QSet<QString> before = names(savedMails(mailFolder()));
        const int waiting = waitingMails(last);
        QString killAt;
        std::optional<microseconds> delay = killDelay(waiting);
        if (atStep(random_)) {
            const Step& step =
                steps[std::uniform_int_distribution<std::size_t>(0, steps.size() - 1)(random_)];
            const int most =
                step.perBatch ? (waiting + options_.batchMails - 1) / options_.batchMails : waiting;
            killAt = QStringLiteral("%1 %2").arg(step.name).arg(
                std::uniform_int_distribution<int>(1, std::max(1, most))(random_));
            delay.reset();
        }
        const VictimOutcome outcome = fetch(delay, killAt);
        learn(outcome, waiting);

        QString landing;
        if (outcome.end == VictimOutcome::End::Killed) {
            ++summary_.killed;
            if (!killAt.isEmpty()) {
                landing = QStringLiteral("at a step, after %1").arg(killAt.section(u' ', 0, -2));
            }
        } else if (outcome.end == VictimOutcome::End::Exited) {
            ++summary_.finishedFirst;
            landing = QStringLiteral("finished first");
            if (outcome.exitCode != 0) {
                // Nothing stands in a fetch's way here but what an earlier kill left behind.
                ++summary_.victimErrors;
                summary_.fault(QStringLiteral("trial %1: the fetch failed: %2")
                                   .arg(trial)
                                   .arg(outcome.output.simplified()));
            }
        } else {
            ++summary_.failedRecoveries;
            summary_.fault(QStringLiteral("trial %1: the fetch %2: %3")
                               .arg(trial)
                               .arg(endText(outcome), outcome.output));
            break;
        }
        const int drafts = draftsIn(mailFolder());
        last = check();
        if (landing.isEmpty()) {
            const QSet<int> onServer = numbersInMaildir(server_.maildir());
            int savedNow = 0;
            int savedNowOnServer = 0;
            for (const SavedMail& mail : savedMails(mailFolder())) {
                if (!before.contains(mail.name)) {
                    ++savedNow;
                    const std::optional<int> seq = campaignSeq(mail.bytes);
                    savedNowOnServer += seq && onServer.contains(*seq) ? 1 : 0;
                }
            }
            landing = drafts > 0             ? kWriting
                      : savedNow == 0        ? kBeforeSave
                      : savedNowOnServer > 0 ? kBeforeQuit
                                             : kAfterQuit;
        }
        ++summary_.landings[landing];
        if (options_.verbose) {
            log_ << QStringLiteral("trial %1: kill %2, %3, %4; %5 saved, %6 on both sides")
                        .arg(trial)
                        .arg(delay ? QStringLiteral("after %1 ms")
                                         .arg(double(delay->count()) / 1000, 0, 'f', 1)
                                   : QStringLiteral("at \"%1\"").arg(killAt))
                        .arg(endText(outcome), landing)
                        .arg(last.saves.size())
                        .arg(last.onBoth)
                 << Qt::endl;
        }
        if (!record(last, QStringLiteral("trial %1 (%2)").arg(trial).arg(landing))) {
            break;
        }
        const bool failed = outcome.end == VictimOutcome::End::Exited && outcome.exitCode != 0;
        if (cleanAfter(random_) || failed) {
            if (!cleanFetch(QStringLiteral("after trial %1").arg(trial), waitingMails(last))) {
                break;
            }
            last = check();
            if (!record(last, QStringLiteral("the whole fetch after trial %1").arg(trial))) {
                break;
            }
        }
        if (last.onBoth == 0 && last.saves.size() == expected_.size()) {
            endRound(last);
            if (!startRound()) {
                break;
            }
            last = check();
        }
    }
    if (summary_.nothingLost() && cleanFetch(QStringLiteral("at the end"), waitingMails(last))) {
        last = check();
        if (record(last, QStringLiteral("the last whole fetch"))) {
            if (last.onBoth != 0 || last.saves.size() != expected_.size()) {
                summary_.fault(QStringLiteral("the last whole fetch left mails on the server"));
                ++summary_.failedRecoveries;
            }
            summary_.duplicates += last.duplicates();
        }
    }
    return summary_;
}

}  // namespace kervo::faults
