// What reading one saved mail costs: time, and how far the resident set rises above where it
// was before the read (the kernel's high-water mark, reset just before). One mail per process,
// so that the peak belongs to that mail alone. find= names a text the body must contain, the
// way a rule would look for it. repeat=N reads the same mail N times more and prints the fastest
// and the median of those reads, wall and CPU (on a loaded machine the CPU time is the steadier
// figure). many=FOLDER reads every file in the folder once, for what each report costs at least.
//   kervo_bench_reader mail=FILE [find=TEXT] [repeat=N] [many=FOLDER]
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "mail/pop/PopMailbox.h"
#include "support/BenchSupport.h"

using namespace kervo;
using namespace kervo::bench;

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "kervo_bench_reader: %s\n", text.toLocal8Bit().constData());
    return 1;
}

// Lets the high-water mark start again from the present resident set; false where the kernel
// does not allow it (then the mark may still hold an earlier peak).
bool resetPeak() {
    QFile control(QStringLiteral("/proc/self/clear_refs"));
    return control.open(QIODevice::WriteOnly) && control.write("5") == 1;
}

// Wall and CPU milliseconds of reading each of files once, in order; nothing when one fails.
struct ReadTimes {
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
};

std::optional<ReadTimes> timeReads(PopMailbox& mailer, const QStringList& files) {
    ReadTimes times;
    for (const QString& file : files) {
        const double cpuStart = cpuSeconds();
        const qint64 start = monotonicNs();
        if (!mailer.readReport(file).ok()) {
            return std::nullopt;
        }
        times.wallMs.push_back(static_cast<double>(monotonicNs() - start) / 1e6);
        times.cpuMs.push_back((cpuSeconds() - cpuStart) * 1e3);
    }
    return times;
}

double total(const std::vector<double>& samples) {
    double sum = 0;
    for (const double s : samples) {
        sum += s;
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<Arguments> args =
        Arguments::parse(app.arguments().mid(1),
                         {QStringLiteral("mail"), QStringLiteral("find"), QStringLiteral("repeat"),
                          QStringLiteral("many")},
                         error);
    if (!args) {
        return fail(error);
    }
    const QString path = QFileInfo(args->text(QStringLiteral("mail"))).absoluteFilePath();
    const QString folder = QFileInfo(path).absolutePath();
    const qint64 size = QFileInfo(path).size();
    if (!QFileInfo(path).isFile()) {
        return fail(QStringLiteral("no mail file at %1").arg(path));
    }
    PopMailbox mailer(folder);

    // A small mail first, so that the libraries' own start-up is not counted against the mail.
    QTemporaryDir warmDir;
    const QString warm = warmDir.filePath(QStringLiteral("warm.eml"));
    {
        QFile file(warm);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("Subject: warm\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                       "\xe3\x81\x82 warm\r\n") < 0) {
            return fail(QStringLiteral("cannot write %1").arg(warm));
        }
    }
    (void)mailer.readReport(warm);

    const bool peakReset = resetPeak();
    const MemoryStatus before = readMemoryStatus();
    const qint64 start = monotonicNs();
    const Result<ReportText> texts = mailer.readReport(path);
    const double readMs = static_cast<double>(monotonicNs() - start) / 1e6;
    const MemoryStatus after = readMemoryStatus();

    const QString find = args->text(QStringLiteral("find"));
    const bool read = texts.ok();
    const ReportText shown = read ? texts.value() : ReportText{};
    const qint64 growthKb = std::max<qint64>(0, after.hwmKb - before.rssKb);

    std::vector<std::pair<QString, QString>> extra;
    const std::optional<qint64> repeat = args->number(QStringLiteral("repeat"), 0);
    if (!repeat || *repeat < 0) {
        return fail(QStringLiteral("repeat= takes a count"));
    }
    if (read && *repeat > 0) {
        const std::optional<ReadTimes> again =
            timeReads(mailer, QStringList(static_cast<qsizetype>(*repeat), path));
        if (!again) {
            return fail(QStringLiteral("a repeated read of %1 failed").arg(path));
        }
        const Summary wall = summarise(again->wallMs);
        const Summary cpu = summarise(again->cpuMs);
        extra.insert(extra.end(), {{QStringLiteral("repeat"), QString::number(*repeat)},
                                   {QStringLiteral("repeat_min_ms"), fixed(wall.min, 1)},
                                   {QStringLiteral("repeat_median_ms"), fixed(wall.median, 1)},
                                   {QStringLiteral("repeat_cpu_min_ms"), fixed(cpu.min, 1)},
                                   {QStringLiteral("repeat_cpu_median_ms"), fixed(cpu.median, 1)}});
    }
    if (const QString many = args->text(QStringLiteral("many")); !many.isEmpty()) {
        QStringList files;
        const QDir dir(many);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            files.append(dir.filePath(name));
        }
        const std::optional<ReadTimes> all = timeReads(mailer, files);
        if (!all || files.isEmpty()) {
            return fail(QStringLiteral("the mails in %1 could not all be read").arg(many));
        }
        const double perThousand = 1000.0 / static_cast<double>(files.size());
        extra.insert(
            extra.end(),
            {{QStringLiteral("many_files"), QString::number(files.size())},
             {QStringLiteral("many_ms_per_1000"), fixed(total(all->wallMs) * perThousand, 1)},
             {QStringLiteral("many_cpu_ms_per_1000"), fixed(total(all->cpuMs) * perThousand, 1)}});
    }

    std::vector<std::pair<QString, QString>> values = {
        {QStringLiteral("size_kb"), QString::number(size / 1024)},
        {QStringLiteral("read"), read ? QStringLiteral("yes") : QStringLiteral("no")},
        {QStringLiteral("read_ms"), fixed(readMs, 1)},
        {QStringLiteral("rss_before_kb"), QString::number(before.rssKb)},
        {QStringLiteral("peak_kb"), QString::number(after.hwmKb)},
        {QStringLiteral("peak_growth_kb"), QString::number(growthKb)},
        {QStringLiteral("growth_per_size"),
         fixed(size > 0 ? static_cast<double>(growthKb) * 1024 / static_cast<double>(size) : 0.0,
               2)},
        {QStringLiteral("peak_reset"), peakReset ? QStringLiteral("yes") : QStringLiteral("no")},
        {QStringLiteral("subject_chars"), QString::number(shown.subject.size())},
        {QStringLiteral("body_chars"), QString::number(shown.body.size())},
        {QStringLiteral("found"), find.isEmpty()              ? QStringLiteral("-")
                                  : shown.body.contains(find) ? QStringLiteral("yes")
                                                              : QStringLiteral("no")}};
    values.insert(values.end(), extra.begin(), extra.end());
    printResult(QStringLiteral("reader"), values);
    return read ? 0 : 1;
}
