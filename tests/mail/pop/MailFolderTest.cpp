#include <sys/stat.h>

#include "PopTestSupport.h"
#include "mail/transport/MailFolder.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;

class MailFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder.prepare().ok()); }

    QString save(const QByteArray& content) {
        Result<std::unique_ptr<MailDraft>> draft = folder.startDraft();
        if (!draft.ok()) {
            ADD_FAILURE() << draft.error().message.toStdString();
            return {};
        }
        EXPECT_TRUE(draft.value()->write(content.constData(), content.size()).ok());
        EXPECT_TRUE(draft.value()->finish().ok());
        std::vector<std::unique_ptr<MailDraft>> drafts;
        drafts.push_back(std::move(draft).value());
        const std::vector<Result<QString>> paths = folder.commit(std::move(drafts));
        EXPECT_TRUE(paths.size() == 1 && paths[0].ok());
        return paths.size() == 1 && paths[0].ok() ? paths[0].value() : QString();
    }
    void put(const QString& name, const QByteArray& bytes) {
        QFile file(root + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    QStringList in(const QString& part) const { return test::filesIn(root + part); }

    QTemporaryDir temp;
    QString root = temp.filePath(u"deep/mail"_s);
    MailFolder folder{root};
};

TEST_F(MailFolderTest, preparedFolder_isOwnerOnlyAndKeepsAllButWhatIsNoLongerNeeded) {
    // rights widened by hand are taken back
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(root + u"/new"_s).constData(), 0777), 0);
    ASSERT_TRUE(folder.prepare().ok());
    for (const char* part : {"", "/tmp", "/new", "/cur", "/meta"}) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(root) + part;
        ASSERT_EQ(::stat(path.constData(), &info), 0) << path.constData();
        EXPECT_EQ(info.st_mode & (S_IFMT | 0777), S_IFDIR | 0700u) << path.constData();
    }
    const QString analysed = save("analysed");
    const QString waiting = save("waiting");
    put(u"/tmp/being-fetched.eml"_s, "in flight");
    put(u"/stray.txt"_s, "old");
    put(u"/../elsewhere.eml"_s, "not ours");
    for (const QString& path : {u"/../elsewhere.eml"_s, u"/tmp/being-fetched.eml"_s,
                                u"/new/missing.eml"_s, u"/new/../stray.txt"_s}) {
        EXPECT_FALSE(folder.markAnalysed(root + path)) << path.toStdString();
    }
    ASSERT_TRUE(folder.markAnalysed(analysed));
    EXPECT_EQ(folder.pending(), QStringList{waiting});
    EXPECT_EQ(test::contentsOf({folder.analysedPath(analysed)}), QList<QByteArray>{"analysed"});

    folder.purgeAnalysed();
    EXPECT_EQ(in(u"/cur"_s), QStringList());
    EXPECT_EQ(in(u""_s), QStringList());
    EXPECT_EQ(folder.pending(), QStringList{waiting});
    EXPECT_EQ(in(u"/tmp"_s).size(), 1);  // only a fetch that starts clears it
    EXPECT_TRUE(QFile::exists(root + u"/../elsewhere.eml"_s));
    folder.removeDrafts();
    EXPECT_EQ(in(u"/tmp"_s), QStringList());
    EXPECT_EQ(folder.pending(), QStringList{waiting});
}

}  // namespace
}  // namespace kervo
