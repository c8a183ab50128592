#pragma once

// The fakes the monitor's parts take in place of the desktop (the clock, the beep, process
// starting), a problem log captured in a temporary file, the window's model, and settings as the
// two files would give them.

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/ProblemLog.h"
#include "app/Seams.h"
#include "app/WindowModel.h"
#include "settings/Settings.h"

namespace kervo::test {

// Shows a fixed time; every reading can move it on by a number of seconds.
class FakeClock final : public Clock {
  public:
    QDateTime now() const override {
        ++reads;
        const QDateTime shown = time;
        time = time.addSecs(advancePerRead);
        return shown;
    }
    void setMinute(int minute) { time = QDateTime(QDate(2026, 3, 9), QTime(14, minute, 30)); }

    mutable QDateTime time = QDateTime(QDate(2026, 3, 9), QTime(14, 20, 30));
    mutable int reads = 0;
    qint64 advancePerRead = 0;
};

class FakeBeeper final : public Beeper {
  public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class FakeStarter final : public ProcessStarter {
  public:
    struct Call {
        QString program;
        QStringList arguments;
    };
    Result<void> start(const QString& program, const QStringList& arguments) override {
        calls.push_back({program, arguments});
        return {};
    }
    std::vector<Call> calls;
};

// The problem log's lines, kept in memory so that a test can read what was written.
class CapturedStream {
  public:
    CapturedStream() : file_(::open_memstream(&buffer_, &size_)) {}
    ~CapturedStream() {
        std::fclose(file_);
        std::free(buffer_);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    std::FILE* file() const { return file_; }
    QStringList lines() const {
        std::fflush(file_);
        return QString::fromLocal8Bit(buffer_, qsizetype(size_)).split(u'\n', Qt::SkipEmptyParts);
    }
    // The lines that report a problem, leaving out the record every alarm writes.
    QStringList problems() const {
        QStringList out = lines();
        out.removeIf([](const QString& line) { return line.contains(u" kervo: alarm on dial "); });
        return out;
    }

  private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    std::FILE* file_;
};

struct MonitorFixture {
    MonitorFixture() {
        QObject::connect(&log, &ProblemLog::warningRaised,
                         [this](const QString& text) { warnings.append(text); });
    }

    // Writes a plain picture of one colour into the temporary folder and returns its path.
    QString writePicture(const QString& name, QSize size, QColor colour) const {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = pictures.filePath(name);
        image.save(path, "PNG");
        return path;
    }

    QTemporaryDir pictures;
    WindowModel window;
    FakeClock clock;
    FakeBeeper beeper;
    FakeStarter starter;
    CapturedStream stream;
    ProblemLog log{stream.file()};
    QStringList warnings;
};

// Settings with these servers, dial i showing names[i], and no rules yet.
inline Settings settingsWith(const QStringList& names) {
    Settings settings;
    for (const QString& name : names) {
        settings.servers.push_back({LooseValue::fromText(name), LooseValue()});
    }
    return settings;
}

inline void addRule(Settings& settings, const QString& first, const QString& second,
                    const QString& message) {
    settings.rules.push_back({LooseValue::fromText(QStringLiteral("tag")),
                              LooseValue::fromText(first), LooseValue::fromText(second), message});
}

// How many pixels of the image have exactly this colour.
inline int countPixels(const QImage& image, Rgb colour) {
    const QColor wanted = toQColor(colour);
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixelColor(x, y) == wanted ? 1 : 0;
        }
    }
    return n;
}

}  // namespace kervo::test
