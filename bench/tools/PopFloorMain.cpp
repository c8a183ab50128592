// The floor of the retrieval benchmark: the least a POP3 download can do. It logs on, sends every
// RETR at once, writes each mail to its own file as the replies stream in (no fsync unless asked,
// so the mails are not durable), then sends every DELE at once and QUIT. Loopback only.
//   kervo_bench_floor port=N user=U password=P dir=D [sync=none|each|syncfs] [limit-s=S]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "support/BenchSupport.h"
#include "support/PopReplyReader.h"

using namespace kervo::bench;

namespace {

constexpr qsizetype kReadBuffer = 256 * 1024;

enum class SyncMode { None, Each, SyncFs };

bool sendAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.constData() + done,
                                    static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += sent;
    }
    return true;
}

// Writes the bodies of RETR replies into numbered files, remembers the last status line.
class MailWriter final : public PopReplyHandler {
  public:
    MailWriter(QString dir, SyncMode sync) : dir_(std::move(dir)), sync_(sync) {
        buffer_.reserve(kReadBuffer);
    }
    ~MailWriter() override { closeFile(); }

    void retrieving(bool on) { retrieving_ = on; }

    void statusLine(bool ok, QByteArrayView line) override {
        lastOk_ = ok;
        lastStatus_ = line.toByteArray();
        if (!ok) {
            ++refused_;
        }
        if (ok && retrieving_) {
            const QByteArray path = QFile::encodeName(
                QStringLiteral("%1/%2.eml").arg(dir_).arg(++mails_, 6, 10, QLatin1Char('0')));
            fd_ = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd_ < 0) {
                failed_ = true;
            }
        }
    }
    void bodyData(const char* data, qsizetype size) override {
        bytes_ += size;
        if (buffer_.size() + size > kReadBuffer) {
            flush();
        }
        buffer_.append(data, size);
    }
    void bodyEnd() override { closeFile(); }

    bool lastOk() const { return lastOk_; }
    const QByteArray& lastStatus() const { return lastStatus_; }
    qsizetype mails() const { return mails_; }
    qint64 bytes() const { return bytes_; }
    qsizetype refused() const { return refused_; }
    bool failed() const { return failed_; }

  private:
    void flush() {
        qsizetype done = 0;
        while (fd_ >= 0 && done < buffer_.size()) {
            const ssize_t written = ::write(fd_, buffer_.constData() + done,
                                            static_cast<size_t>(buffer_.size() - done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written < 0) {
                failed_ = true;
                break;
            }
            done += written;
        }
        buffer_.clear();
    }
    void closeFile() {
        flush();
        if (fd_ >= 0) {
            if (sync_ == SyncMode::Each && ::fsync(fd_) != 0) {
                failed_ = true;
            }
            ::close(fd_);
            fd_ = -1;
        }
    }

    QString dir_;
    SyncMode sync_;
    QByteArray buffer_;
    int fd_ = -1;
    bool retrieving_ = false;
    bool lastOk_ = false;
    bool failed_ = false;
    QByteArray lastStatus_;
    qsizetype mails_ = 0;
    qint64 bytes_ = 0;
    qsizetype refused_ = 0;
};

class Session {
  public:
    Session(int fd, qint64 deadlineNs, MailWriter& writer)
        : fd_(fd), deadlineNs_(deadlineNs), writer_(writer), reader_(writer) {}

    // Sends the commands from a second thread while the replies are read here, so that neither
    // side waits for the other however many commands are in flight.
    QString exchange(const QByteArray& commands, PopReplyReader::Kind kind, qsizetype count) {
        reader_.expect(kind, count);
        int sendError = 0;
        std::thread sender([&] {
            if (!sendAll(fd_, commands)) {
                sendError = errno;
            }
        });
        QString error = readAll();
        sender.join();
        if (error.isEmpty() && sendError != 0) {
            error = QStringLiteral("sending failed: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(sendError)));
        }
        return error;
    }

    QString command(const QByteArray& line) {
        QString error = exchange(line + "\r\n", PopReplyReader::Kind::SingleLine, 1);
        if (error.isEmpty() && !writer_.lastOk()) {
            error = QStringLiteral("the server refused: %1")
                        .arg(QString::fromLatin1(writer_.lastStatus()));
        }
        return error;
    }

    QString greeting() {
        reader_.expect(PopReplyReader::Kind::SingleLine, 1);
        return readAll();
    }

  private:
    QString readAll() {
        QByteArray buffer(kReadBuffer, Qt::Uninitialized);
        while (reader_.outstanding() > 0) {
            if (monotonicNs() > deadlineNs_) {
                return QStringLiteral("time limit reached");
            }
            const ssize_t got = ::recv(fd_, buffer.data(), kReadBuffer, 0);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return got == 0 ? QStringLiteral("the server closed the connection")
                                : QStringLiteral("receiving failed: %1")
                                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
            }
            if (!reader_.feed(buffer.constData(), got)) {
                return reader_.error();
            }
        }
        return {};
    }

    int fd_;
    qint64 deadlineNs_;
    MailWriter& writer_;
    PopReplyReader reader_;
};

int connectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    timeval timeout{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return fd;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return -1;
}

bool syncFolder(const QString& dir, bool wholeDisk) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = (!wholeDisk || ::syncfs(fd) == 0) && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

int fail(const QString& text) {
    std::fprintf(stderr, "kervo_bench_floor: %s\n", text.toLocal8Bit().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<Arguments> args = Arguments::parse(
        app.arguments().mid(1),
        {QStringLiteral("port"), QStringLiteral("user"), QStringLiteral("password"),
         QStringLiteral("dir"), QStringLiteral("sync"), QStringLiteral("limit-s")},
        error);
    if (!args) {
        return fail(error);
    }
    const qint64 port = args->number(QStringLiteral("port"), 0).value_or(0);
    const qint64 limit = args->number(QStringLiteral("limit-s"), 600).value_or(600);
    const QString dir = args->text(QStringLiteral("dir"));
    const QString syncText = args->text(QStringLiteral("sync"), QStringLiteral("none"));
    const SyncMode sync = syncText == u"each"     ? SyncMode::Each
                          : syncText == u"syncfs" ? SyncMode::SyncFs
                                                  : SyncMode::None;
    if (port <= 0 || port > 65535 || dir.isEmpty()) {
        return fail(QStringLiteral("port= and dir= are needed"));
    }

    const qint64 start = monotonicNs();
    const int fd = connectLoopback(static_cast<int>(port));
    if (fd < 0) {
        return fail(QStringLiteral("cannot connect to 127.0.0.1:%1").arg(port));
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    MailWriter writer(dir, sync);
    Session session(fd, start + limit * 1'000'000'000, writer);
    if (error = session.greeting(); !error.isEmpty()) {
        return fail(error);
    }
    for (const QByteArray& line :
         {"USER " + args->text(QStringLiteral("user")).toUtf8(),
          "PASS " + args->text(QStringLiteral("password")).toUtf8(), QByteArray("STAT")}) {
        if (error = session.command(line); !error.isEmpty()) {
            return fail(error);
        }
    }
    const QList<QByteArray> stat = writer.lastStatus().split(' ');
    const qsizetype count = stat.size() >= 2 ? stat.at(1).toLongLong() : 0;

    const qint64 retrStart = monotonicNs();
    QByteArray commands;
    for (qsizetype i = 1; i <= count; ++i) {
        commands += "RETR " + QByteArray::number(i) + "\r\n";
    }
    writer.retrieving(true);
    if (error = session.exchange(commands, PopReplyReader::Kind::MultiLine, count);
        !error.isEmpty()) {
        return fail(error);
    }
    writer.retrieving(false);
    const qint64 syncStart = monotonicNs();
    if (sync != SyncMode::None && !syncFolder(dir, sync == SyncMode::SyncFs)) {
        return fail(QStringLiteral("cannot sync %1").arg(dir));
    }
    const qint64 deleStart = monotonicNs();
    commands.clear();
    for (qsizetype i = 1; i <= count; ++i) {
        commands += "DELE " + QByteArray::number(i) + "\r\n";
    }
    commands += "QUIT\r\n";
    if (error = session.exchange(commands, PopReplyReader::Kind::SingleLine, count + 1);
        !error.isEmpty()) {
        return fail(error);
    }
    const qint64 end = monotonicNs();
    ::close(fd);
    if (writer.failed() || writer.refused() > 0 || writer.mails() != count) {
        return fail(QStringLiteral("%1 of %2 mails saved, %3 refused")
                        .arg(writer.mails())
                        .arg(count)
                        .arg(writer.refused()));
    }
    printResult(
        QStringLiteral("floor"),
        {{QStringLiteral("mails"), QString::number(writer.mails())},
         {QStringLiteral("bytes"), QString::number(writer.bytes())},
         {QStringLiteral("sync"), syncText},
         {QStringLiteral("seconds"), fixed(static_cast<double>(end - start) / 1e9)},
         {QStringLiteral("retr_s"), fixed(static_cast<double>(syncStart - retrStart) / 1e9)},
         {QStringLiteral("sync_s"), fixed(static_cast<double>(deleStart - syncStart) / 1e9)},
         {QStringLiteral("dele_s"), fixed(static_cast<double>(end - deleStart) / 1e9)}});
    return 0;
}
