#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "CommandLine.h"

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
        EXPECT_EQ(runOperatorTool(c.arguments, o, e), c.status)
            << c.arguments.join(u' ').toStdString();
        o.flush();
        e.flush();
        EXPECT_TRUE(out.contains(QString::fromUtf8(c.expectOut))) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.expectErr))) << err.toStdString();
    }
}

}  // namespace
