#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "CommandLine.h"
#include "StartOptions.h"

using kervo::runOperatorTool;

namespace {

// The command line, split at its spaces.
QStringList args(const char* line) {
    return QString::fromUtf8(line).split(u' ');
}

struct ToolCase {
    QStringList arguments;
    std::optional<int> status;
    const char* expectOut;  // substring of standard output, or empty
    const char* expectErr;  // substring of standard error, or empty
};

TEST(CommandLine, arguments_pickTheToolAndItsStatus) {
    const std::vector<ToolCase> cases = {
        {args("kervo"), std::nullopt, "", ""},
        {args("kervo --help"), 0, "--read-mail", ""},
        {args("kervo --version"), 0, "kervo 1.3", ""},
        {args("kervo --read-mail"), 2, "", "incomplete"},
        {args("kervo --check x"), 2, "", "unknown"},
        {args("kervo -geometry 10x10"), 2, "", "Usage"},
        {args("kervo --read-mail /nonexistent/mail.eml"), 1, "", ""},
        // the test's data folder holds no journal: an empty history, not a failed script
        {args("kervo --history"), 0, "", "no journal yet"},
        {args("kervo --history --since 2026-13-01"), 2, "", "YYYY-MM-DD"},
        {args("kervo --history --server"), 2, "", "--server NAME"},
    };
    for (const ToolCase& c : cases) {
        QString out;
        QString err;
        QTextStream o(&out);
        QTextStream e(&err);
        EXPECT_EQ(runOperatorTool(c.arguments, kervo::ProgramFolders{}, o, e), c.status)
            << c.arguments.join(u' ').toStdString();
        o.flush();
        e.flush();
        EXPECT_TRUE(out.contains(QString::fromUtf8(c.expectOut))) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.expectErr))) << err.toStdString();
    }
}

struct StartOptionCase {
    const char* arguments;
    const char* left;      // what stays for the tool, joined by spaces; "error" for an Error
    const char* settings;  // the --settings folder taken
    bool logToFile;
};

TEST(CommandLine, startOptions_takenWhereverTheyStand) {
    const std::vector<StartOptionCase> cases = {
        {"kervo --settings /etc/kervo", "kervo", "/etc/kervo", false},
        {"kervo --check --settings cfg", "kervo --check", "cfg", false},
        {"kervo --log-to-file --settings dir", "kervo", "dir", true},
        {"kervo --settings --check", "error", "", false},
        {"kervo --read-mail a.eml", "kervo --read-mail a.eml", "", false},
        {"kervo --check --settings", "error", "", false},
        {"kervo --settings a --settings b", "error", "", false},
        {"kervo --log-to-file --log-to-file", "error", "", false},
    };
    for (const StartOptionCase& c : cases) {
        QStringList arguments = args(c.arguments);
        const kervo::Result<kervo::StartOptions> taken = kervo::takeStartOptions(arguments);
        const std::string row = c.arguments;
        if (QByteArrayView(c.left) == "error") {
            EXPECT_FALSE(taken.ok()) << row;
            continue;
        }
        ASSERT_TRUE(taken.ok()) << row;
        EXPECT_EQ(arguments.join(u' '), QString::fromUtf8(c.left)) << row;
        EXPECT_EQ(taken.value().settingsDir, QString::fromUtf8(c.settings)) << row;
        EXPECT_EQ(taken.value().logToFile, c.logToFile) << row;
    }
}

}  // namespace
