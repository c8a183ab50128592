// What the kill campaign found a killed fetch can leave in the mail folder's meta/: the fetch
// lock, or the helper lock taken while a stale fetch lock is removed, created but still empty.
// A later fetch must not take either for a fetch still running.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include "mail/pop/PopMailbox.h"

namespace kervo::faults {
namespace {

const QString kInUse = QStringLiteral("in use by another fetch");

// A process id that no process has any more.
qint64 deadPid() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

QByteArray lockOf(qint64 pid) {
    return QByteArray::number(pid) + "\nkervo_kill_victim\n" +
           QSysInfo::machineHostName().toUtf8() + "\n";
}

struct Left {
    const char* name;
    QByteArray lock;         // fetch.lock; absent when null
    QByteArray removalLock;  // fetch.lock.rmlock; absent when null
};

void PrintTo(const Left& left, std::ostream* out) {
    *out << left.name;
}

class LeftLock : public ::testing::TestWithParam<Left> {};

// The server address is left empty: the fetch stops at it, right after taking the lock,
// without any network.
TEST_P(LeftLock, leftByKilledFetch_doesNotBlockTheNextFetch) {
    const Left& left = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("mail"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/meta")));
    for (const auto& [name, content] :
         {std::pair{QStringLiteral("fetch.lock"), left.lock},
          std::pair{QStringLiteral("fetch.lock.rmlock"), left.removalLock}}) {
        if (!content.isNull()) {
            QFile file(folder + QStringLiteral("/meta/") + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
    }
    PopMailbox mailbox(folder);
    const FetchOutcome result =
        mailbox.fetchAll({QString(), QStringLiteral("watch"), QStringLiteral("pw")});
    ASSERT_FALSE(result.ended.ok());
    EXPECT_FALSE(result.ended.error().message.contains(kInUse)) << result.ended.error().message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Leftovers, LeftLock,
    ::testing::Values(Left{"staleLock", lockOf(deadPid()), QByteArray()},
                      // killed between creating the lock file and writing its owner into it
                      Left{"emptyLock", QByteArray(""), QByteArray()},
                      // killed while removing another killed fetch's lock
                      Left{"emptyRemovalLock", lockOf(deadPid()), QByteArray("")}),
    [](const auto& p) { return std::string(p.param.name); });

// The other side: a fetch that really runs keeps the next one out, so the cases above do test
// the lock.
TEST(HeldLock, heldByLiveFetch_blocksTheNextFetch) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("mail"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/meta")));
    QLockFile held(folder + QStringLiteral("/meta/fetch.lock"));
    ASSERT_TRUE(held.tryLock(0));
    PopMailbox mailbox(folder);
    const FetchOutcome result =
        mailbox.fetchAll({QString(), QStringLiteral("watch"), QStringLiteral("pw")});
    ASSERT_FALSE(result.ended.ok());
    EXPECT_TRUE(result.ended.error().message.contains(kInUse)) << result.ended.error().message.toStdString();
}

}  // namespace
}  // namespace kervo::faults
