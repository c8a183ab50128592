// What reading one saved mail costs: time, and how far the resident set rises above where it
// was before the read (the kernel's high-water mark, reset just before). One mail per process,
// so that the peak belongs to that mail alone. find= names a text the body must contain, the
// way a rule would look for it.
//   kervo_bench_reader mail=FILE [find=TEXT]
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<Arguments> args = Arguments::parse(
        app.arguments().mid(1), {QStringLiteral("mail"), QStringLiteral("find")}, error);
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
    printResult(
        QStringLiteral("reader"),
        {{QStringLiteral("size_kb"), QString::number(size / 1024)},
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
                                                               : QStringLiteral("no")}});
    return read ? 0 : 1;
}
