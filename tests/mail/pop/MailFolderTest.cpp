#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "mail/pop/MailFolder.h"
#include "mail/pop/UidlRecord.h"

namespace kervo {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QStringList names(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString saveMail(MailFolder& folder, const QByteArray& content) {
    QString error;
    std::unique_ptr<MailDraft> draft = folder.startDraft(error);
    EXPECT_TRUE(draft) << error.toStdString();
    if (!draft) {
        return {};
    }
    EXPECT_TRUE(draft->write(content.constData(), content.size()));
    QString path;
    EXPECT_TRUE(draft->commit(path).isEmpty());
    return path;
}

class MailFolderTest : public ::testing::Test {
  protected:
    QTemporaryDir temp;
    QString root() const { return temp.filePath(QStringLiteral("deep/mail")); }
};

TEST_F(MailFolderTest, prepare_createsOwnerOnlyParts) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    for (const char* part : {"", "/tmp", "/new", "/cur", "/meta"}) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(root() + QString::fromLatin1(part));
        ASSERT_EQ(::stat(path.constData(), &info), 0) << path.constData();
        EXPECT_TRUE(S_ISDIR(info.st_mode)) << path.constData();
        EXPECT_EQ(info.st_mode & 0777, 0700u) << path.constData();
    }
}

TEST_F(MailFolderTest, prepareBelowRegularFile_namesTheBlockingPath) {
    writeFile(temp.filePath(QStringLiteral("plain")), "x");
    const QString inside = temp.filePath(QStringLiteral("plain/mail"));
    const QString error = MailFolder(inside).prepare();
    EXPECT_TRUE(error.contains(temp.filePath(QStringLiteral("plain")))) << error.toStdString();
}

TEST_F(MailFolderTest, committedDraft_isInNewWithExactBytesAndTmpIsEmpty) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    QByteArray content;
    for (int i = 0; i < 50'000; ++i) {
        content += "line " + QByteArray::number(i) + "\r\n";
    }
    const QString path = saveMail(folder, content);
    EXPECT_EQ(QFileInfo(path).absolutePath(), root() + QStringLiteral("/new"));
    EXPECT_EQ(readAll(path), content);
    EXPECT_TRUE(names(root() + QStringLiteral("/tmp")).isEmpty());
}

TEST_F(MailFolderTest, droppedDraft_leavesNoFileAnywhere) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    {
        QString error;
        std::unique_ptr<MailDraft> draft = folder.startDraft(error);
        ASSERT_TRUE(draft);
        draft->write("half a mail", 11);
    }
    EXPECT_TRUE(names(root() + QStringLiteral("/tmp")).isEmpty());
    EXPECT_TRUE(folder.pending().isEmpty());
}

TEST_F(MailFolderTest, pending_listsMailsInSavingOrder) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    QStringList saved;
    for (int i = 0; i < 30; ++i) {
        saved.append(saveMail(folder, "mail " + QByteArray::number(i)));
    }
    EXPECT_EQ(MailFolder(root()).pending(), saved);
}

TEST_F(MailFolderTest, removeDrafts_clearsOnlyTmp) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    const QString kept = saveMail(folder, "saved");
    writeFile(root() + QStringLiteral("/tmp/stale.eml"), "stale");
    folder.removeDrafts();
    EXPECT_TRUE(names(root() + QStringLiteral("/tmp")).isEmpty());
    EXPECT_EQ(folder.pending(), QStringList{kept});
}

TEST_F(MailFolderTest, markThenPurge_removesOnlyAnalysedAndStrayFiles) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    const QString analysed = saveMail(folder, "analysed");
    const QString waiting = saveMail(folder, "waiting");
    writeFile(root() + QStringLiteral("/tmp/being-fetched.eml"), "in flight");
    writeFile(root() + QStringLiteral("/stray.txt"), "old");
    ASSERT_TRUE(folder.markAnalysed(analysed));
    EXPECT_EQ(folder.pending(), QStringList{waiting});
    EXPECT_EQ(readAll(folder.analysedPath(analysed)), QByteArray("analysed"));

    folder.purgeAnalysed();
    EXPECT_TRUE(names(root() + QStringLiteral("/cur")).isEmpty());
    EXPECT_FALSE(QFile::exists(root() + QStringLiteral("/stray.txt")));
    EXPECT_EQ(folder.pending(), QStringList{waiting});
    EXPECT_EQ(names(root() + QStringLiteral("/tmp")),
              QStringList{QStringLiteral("being-fetched.eml")});
    EXPECT_TRUE(QFileInfo(folder.metaDir()).isDir());
}

TEST_F(MailFolderTest, markAnalysed_refusesPathsOutsideNew) {
    MailFolder folder(root());
    ASSERT_TRUE(folder.prepare().isEmpty());
    const QString outside = temp.filePath(QStringLiteral("elsewhere.eml"));
    writeFile(outside, "not ours");
    const QString inTmp = root() + QStringLiteral("/tmp/x.eml");
    writeFile(inTmp, "draft");
    for (const QString& path : {outside, inTmp, root() + QStringLiteral("/new/missing.eml"),
                                root() + QStringLiteral("/new/../tmp/x.eml")}) {
        EXPECT_FALSE(folder.markAnalysed(path)) << path.toStdString();
    }
    EXPECT_TRUE(QFile::exists(outside));
    EXPECT_TRUE(QFile::exists(inTmp));
}

struct UidCase {
    QByteArray raw;
    bool accepted;
};

class UidSanitising : public ::testing::TestWithParam<UidCase> {};

TEST_P(UidSanitising, sanitisedUid_acceptsOnlyPrintableShortIds) {
    EXPECT_EQ(sanitisedUid(GetParam().raw).has_value(), GetParam().accepted)
        << GetParam().raw.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Ids, UidSanitising,
                         ::testing::Values(UidCase{"00000001abcdef", true},
                                           UidCase{QByteArray(70, '~'), true},
                                           UidCase{QByteArray(71, 'a'), false}, UidCase{"", false},
                                           UidCase{"a b", false}, UidCase{"a\nb", false},
                                           UidCase{"\x7f", false}, UidCase{"caf\xc3\xa9", false}));

TEST(UidlRecordTest, addedIds_surviveReloadAndRetainForgetsTheRest) {
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("uidl"));
    {
        UidlRecord record(path);
        ASSERT_TRUE(record.load().isEmpty());
        for (const QByteArray& id : {QByteArray("one"), QByteArray("two"), QByteArray("three")}) {
            ASSERT_TRUE(record.add(id).isEmpty());
        }
    }
    UidlRecord reloaded(path);
    ASSERT_TRUE(reloaded.load().isEmpty());
    EXPECT_TRUE(reloaded.contains("one"));
    EXPECT_TRUE(reloaded.contains("three"));
    EXPECT_FALSE(reloaded.contains("four"));

    ASSERT_TRUE(reloaded.retainOnly({QByteArray("two"), QByteArray("four")}).isEmpty());
    UidlRecord again(path);
    ASSERT_TRUE(again.load().isEmpty());
    EXPECT_EQ(again.size(), 1);
    EXPECT_TRUE(again.contains("two"));
}

TEST(UidlRecordTest, garbageLines_areIgnored) {
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("uidl"));
    writeFile(path, "good\nbad id\n\n\x01\x02\nalso-good\n");
    UidlRecord record(path);
    ASSERT_TRUE(record.load().isEmpty());
    EXPECT_EQ(record.size(), 2);
    EXPECT_TRUE(record.contains("also-good"));
}

}  // namespace
}  // namespace kervo
