#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "CommandLine.h"
#include "StartOptions.h"

using kervo::runOperatorTool;

namespace {

struct ToolCase {
    QStringList arguments;
    std::optional<int> status;
    const char* expectOut;  // substring of standard output, or empty
    const char* expectErr;  // substring of standard error, or empty
};

TEST(CommandLine, arguments_pickTheToolAndItsStatus) {
    const QString k = QStringLiteral("kervo");
    const std::vector<ToolCase> cases = {
        {{k}, std::nullopt, "", ""},
        {{k, QStringLiteral("--help")}, 0, "--read-mail", ""},
        {{k, QStringLiteral("--version")}, 0, "kervo 1.3", ""},
        {{k, QStringLiteral("--read-mail")}, 2, "", "incomplete"},
        {{k, QStringLiteral("--check"), QStringLiteral("x")}, 2, "", "unknown"},
        {{k, QStringLiteral("-geometry"), QStringLiteral("10x10")}, 2, "", "Usage"},
        {{k, QStringLiteral("--read-mail"), QStringLiteral("/nonexistent/mail.eml")}, 1, "", ""},
        // the test's data folder holds no journal: an empty history, not a failed script
        {{k, QStringLiteral("--history")}, 0, "", "no journal yet"},
        {{k, QStringLiteral("--history"), QStringLiteral("--since"), QStringLiteral("2026-13-01")},
         2,
         "",
         "YYYY-MM-DD"},
        {{k, QStringLiteral("--history"), QStringLiteral("--server")}, 2, "", "--server NAME"},
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
    QStringList arguments;
    const char* left;      // what stays for the tool, joined by spaces; "error" for an Error
    const char* settings;  // the --settings folder taken
    bool logToFile;
};

TEST(CommandLine, startOptions_takenWhereverTheyStand) {
    const QString k = QStringLiteral("kervo");
    const QString s = QStringLiteral("--settings");
    const QString l = QStringLiteral("--log-to-file");
    const QString check = QStringLiteral("--check");
    const std::vector<StartOptionCase> cases = {
        {{k, s, QStringLiteral("/etc/kervo")}, "kervo", "/etc/kervo", false},
        {{k, check, s, QStringLiteral("cfg")}, "kervo --check", "cfg", false},
        {{k, l, s, QStringLiteral("dir")}, "kervo", "dir", true},
        {{k, s, check}, "error", "", false},
        {{k, QStringLiteral("--read-mail"), QStringLiteral("a.eml")},
         "kervo --read-mail a.eml",
         "",
         false},
        {{k, check, s}, "error", "", false},
        {{k, s, QStringLiteral("a"), s, QStringLiteral("b")}, "error", "", false},
        {{k, l, l}, "error", "", false},
    };
    for (const StartOptionCase& c : cases) {
        QStringList arguments = c.arguments;
        const kervo::Result<kervo::StartOptions> taken = kervo::takeStartOptions(arguments);
        const std::string row = c.arguments.join(u' ').toStdString();
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
