// The alarm latency: how long a report takes from its delivery into the mailbox to its alarm on
// the window, with the monitor running the way the program runs it (its own 30-second tick, a
// poll every second tick) against a private Dovecot. Reports that each match an alarm rule are
// delivered at random moments (seeded) over a spread of seconds; each is told by its subject
// when the alarm shows it. No widgets: the window's model is what the alarm shows on.
//   kervo_bench_latency [--protocol pop3] [--reports 50] [--spread-seconds 600] [--seed 1]
// Prints the median, the 95th percentile and the count as one RESULT line. Exit 1 when a report
// raised no alarm in time, 77 when no mail server can run here, 2 on a usage error.
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>

#include "DovecotServer.h"
#include "Monitor.h"
#include "app/ProblemLog.h"
#include "app/Seams.h"
#include "app/WindowModel.h"
#include "mail/MailPush.h"
#include "mail/imap/ImapIdleWatcher.h"
#include "mail/imap/ImapMailbox.h"
#include "mail/pop/PopMailbox.h"
#include "support/BenchSupport.h"

using namespace kervo;
using namespace kervo::bench;
using kervo::test::DovecotServer;

namespace {

// How long the last report may take after its delivery before it counts as never alarmed: two
// polls and then some.
constexpr int kLastReportGraceS = 180;

class SilentBeeper final : public Beeper {
  public:
    void beep() override {}
};

class NoConsoles final : public ProcessStarter {
  public:
    Result<void> start(const QString&, const QStringList&) override { return {}; }
};

// What the monitor fetches with, per protocol: its mailbox, line 6 of kervo.ini, and the word of
// new mail between the ticks (IMAP IDLE; none for POP3).
struct MailRoute {
    std::unique_ptr<Mailbox> mailbox;
    std::unique_ptr<MailPush> push;
    QString serverLine;
};

Result<MailRoute> routeFor(const QString& protocol, const DovecotServer& server,
                           const QString& mailFolder) {
    if (protocol == u"pop3") {
        return MailRoute{std::make_unique<PopMailbox>(mailFolder), nullptr,
                         QStringLiteral("127.0.0.1:%1").arg(server.popPort())};
    }
    if (protocol == u"imap") {
        return MailRoute{std::make_unique<ImapMailbox>(mailFolder),
                         std::make_unique<ImapIdleWatcher>(),
                         QStringLiteral("imap://127.0.0.1:%1").arg(server.imapPort())};
    }
    return Error{QStringLiteral("--protocol %1: pop3 or imap").arg(protocol)};
}

// The settings folder: the sample pictures, one server the reports name, and the rule they
// match.
Result<void> writeSettings(const QDir& dir, const QString& serverLine) {
    const QDir samples(QStringLiteral(KERVO_SOURCE_DIR "/samples/img"));
    dir.mkpath(QStringLiteral("img"));
    for (const QString& name : samples.entryList(QDir::Files)) {
        if (!QFile::copy(samples.filePath(name), dir.filePath(QStringLiteral("img/") + name))) {
            return Error{QStringLiteral("cannot copy the sample picture %1").arg(name)};
        }
    }
    const QString kervoIni =
        QStringLiteral(
            "img/back.png\r\nimg/backalarm.gif\r\nimg/dial.bmp\r\nimg/dialalarm.gif\r\n"
            "10\r\n%1\r\n%2\r\n%3\r\n"
            "\"R1\",\"files changed\",\"/etc/passwd\",\"passwd changed on web\"\r\n")
            .arg(serverLine, QString::fromLatin1(DovecotServer::kUser),
                 QString::fromLatin1(DovecotServer::kPassword));
    const QByteArray serverIni = "\"web01\",\"\"\r\n";
    QFile k(dir.filePath(QStringLiteral("kervo.ini")));
    QFile s(dir.filePath(QStringLiteral("server.ini")));
    if (!k.open(QIODevice::WriteOnly) || k.write(kervoIni.toUtf8()) <= 0 ||
        !s.open(QIODevice::WriteOnly) || s.write(serverIni) <= 0) {
        return Error{QStringLiteral("cannot write the settings into %1").arg(dir.path())};
    }
    return {};
}

QString subjectOf(int report) {
    return QStringLiteral("Integrity report web01 #%1: files changed").arg(report);
}

QByteArray mailOf(int report) {
    return QByteArrayLiteral(
               "From: checker@web01.example\r\nTo: kervo@monitor.example\r\n"
               "Content-Type: text/plain; charset=us-ascii\r\nSubject: ") +
           subjectOf(report).toUtf8() + QByteArrayLiteral("\r\n\r\nchanged: /etc/passwd\r\n");
}

// Nearest rank: the smallest sample that at least the share of all samples do not exceed.
double percentile(const std::vector<double>& sorted, double share) {
    const auto rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted.at(std::max<size_t>(rank, 1) - 1);
}

int fail(const QString& text, int status = 1) {
    std::fprintf(stderr, "kervo_bench_latency: %s\n", text.toLocal8Bit().constData());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures the time from a report's delivery to its alarm."));
    parser.addHelpOption();
    const QCommandLineOption protocolOption(QStringLiteral("protocol"),
                                            QStringLiteral("pop3 (default) or imap."),
                                            QStringLiteral("name"), QStringLiteral("pop3"));
    const QCommandLineOption reportsOption(QStringLiteral("reports"),
                                           QStringLiteral("Reports to deliver (50)."),
                                           QStringLiteral("n"), QStringLiteral("50"));
    // Ten polls of the program's 60-second period.
    const QCommandLineOption spreadOption(
        QStringLiteral("spread-seconds"),
        QStringLiteral("The deliveries fall at random over this many seconds (600)."),
        QStringLiteral("s"), QStringLiteral("600"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the delivery moments (1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({protocolOption, reportsOption, spreadOption, seedOption});
    parser.process(app);
    bool reportsOk = false;
    bool spreadOk = false;
    bool seedOk = false;
    const int reports = parser.value(reportsOption).toInt(&reportsOk);
    const double spreadS = parser.value(spreadOption).toDouble(&spreadOk);
    const unsigned seed = parser.value(seedOption).toUInt(&seedOk);
    if (!reportsOk || reports <= 0 || !spreadOk || spreadS < 0 || !seedOk) {
        return fail(QStringLiteral("--reports must be positive, --spread-seconds not negative, "
                                   "--seed a whole number"),
                    2);
    }
    const QString protocol = parser.value(protocolOption);

    if (const QString why = DovecotServer::unavailableReason(); !why.isEmpty()) {
        return fail(QStringLiteral("skipped: %1").arg(why), 77);
    }
    DovecotServer server;
    if (const Result<void> started = server.start(); !started.ok()) {
        return fail(started.error().message);
    }
    QTemporaryDir work;
    const QString mailFolder = work.filePath(QStringLiteral("mail"));
    Result<MailRoute> route = routeFor(protocol, server, mailFolder);
    if (!route.ok()) {
        return fail(route.error().message, 2);
    }
    const QDir settingsDir(work.filePath(QStringLiteral("settings")));
    if (const Result<void> written = writeSettings(settingsDir, route.value().serverLine);
        !written.ok()) {
        return fail(written.error().message);
    }

    WindowModel window;
    ProblemLog log;
    SystemClock clock;
    SilentBeeper beeper;
    NoConsoles starter;
    Monitor monitor(window, *route.value().mailbox, Monitor::Seams{clock, beeper, starter, log});
    if (route.value().push) {
        monitor.usePush(*route.value().push);
    }
    if (const auto started = monitor.start(settingsDir); !started.ok()) {
        return fail(started.error().toText());
    }
    if (!waitUntil([&] { return !monitor.isPolling(); }, 60'000)) {
        return fail(QStringLiteral("the start-up poll did not end"));
    }

    // Delivered report (by subject) -> when it was delivered; each alarm shown takes its report
    // out and leaves its latency.
    QHash<QString, qint64> deliveredAt;
    std::vector<double> latencies;
    int delivered = 0;
    QObject::connect(&window, &WindowModel::alarmSubjectChanged, &app, [&](const QString& subject) {
        const auto it = deliveredAt.constFind(subject);
        if (it != deliveredAt.cend()) {
            latencies.push_back(static_cast<double>(monotonicNs() - *it) / 1e9);
            deliveredAt.erase(it);
        }
    });
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> moment(0.0, spreadS);
    QString deliveryError;
    for (int r = 0; r < reports; ++r) {
        const int due = static_cast<int>(moment(random) * 1000);
        QTimer::singleShot(due, Qt::PreciseTimer, &app, [&, r] {
            if (const Result<void> added = server.addMail(mailOf(r)); !added.ok()) {
                deliveryError = added.error().message;
                return;
            }
            deliveredAt.insert(subjectOf(r), monotonicNs());
            ++delivered;
        });
    }
    const int limitMs = static_cast<int>(spreadS * 1000) + kLastReportGraceS * 1000;
    const bool allSeen = waitUntil(
        [&] { return static_cast<int>(latencies.size()) == reports || !deliveryError.isEmpty(); },
        limitMs);
    if (!deliveryError.isEmpty()) {
        return fail(QStringLiteral("a delivery failed: %1").arg(deliveryError));
    }

    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const bool any = !sorted.empty();
    printResult(QStringLiteral("latency"),
                {{QStringLiteral("protocol"), protocol},
                 {QStringLiteral("reports"), QString::number(reports)},
                 {QStringLiteral("delivered"), QString::number(delivered)},
                 {QStringLiteral("alarmed"), QString::number(sorted.size())},
                 {QStringLiteral("spread_s"), fixed(spreadS, 0)},
                 {QStringLiteral("seed"), QString::number(seed)},
                 {QStringLiteral("min_s"), fixed(any ? sorted.front() : 0, 2)},
                 {QStringLiteral("median_s"), fixed(any ? percentile(sorted, 0.5) : 0, 2)},
                 {QStringLiteral("p95_s"), fixed(any ? percentile(sorted, 0.95) : 0, 2)},
                 {QStringLiteral("max_s"), fixed(any ? sorted.back() : 0, 2)}});
    if (!allSeen) {
        return fail(QStringLiteral("%1 of %2 reports raised no alarm within %3 s of the last "
                                   "delivery")
                        .arg(reports - static_cast<int>(sorted.size()))
                        .arg(reports)
                        .arg(kLastReportGraceS));
    }
    return 0;
}
