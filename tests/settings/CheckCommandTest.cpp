#include <gtest/gtest.h>

#include "SettingsFiles.h"
#include "settings/CheckCommand.h"

using kervo::runCheckCommand;
using kervo::test::Head;
using kervo::test::SettingsFolder;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

struct CheckRun {
    int status = -1;
    QString out;
    QString err;
};

CheckRun check(const SettingsFolder& folder) {
    CheckRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runCheckCommand(folder.dir(), out, err);
    return run;
}

TEST(CheckCommand, goodSettings_printsWhatLoadsWithoutPassword) {
    SettingsFolder folder;
    folder.writePicture(u8("img/back.png"), QSize(40, 30), Qt::blue);
    Head head{"img\\back.png", "img\\missing.png", "", ""};
    head.password = "hunter2";
    head.server = " pop.example.com";
    folder.writeBoth(head, "007,\"007\",\"x\",\"①, 改ざん\"\r\n",
                     "\"Server A\",\"console.exe A\"\r\n01,\r\n");
    const CheckRun run = check(folder);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u8("hunter2")));
    EXPECT_FALSE(run.err.contains(u8("hunter2")));
    for (const char* expected : {
             "line 1, background picture: \"img\\back.png\" (loads, 40 x 30 px)",
             "line 2, alarm background picture: \"img\\missing.png\" (does not load:",
             "line 3, dial picture: (none)",
             "Purge limit: 120\n",
             "Mail server: \" pop.example.com\"\n",
             "Mail password: (set)\n",
             "Rules: 1\n",
             "rule 1: tag 7, first pattern \"007\", second pattern \"x\", message \"①, 改ざん\"",
             "Servers: 2\n",
             "dial 0: caption \"Server A\", command \"console.exe A\"",
             "dial 1: caption \"1\", command (none)",
         }) {
        EXPECT_TRUE(run.out.contains(u8(expected))) << expected << "\n" << run.out.toStdString();
    }
    // A picture only the alarm needs is a warning, not a failure.
    EXPECT_TRUE(run.err.startsWith(u8("warning: kervo.ini, line 2: "))) << run.err.toStdString();
}

TEST(CheckCommand, emptyPassword_saysSo) {
    SettingsFolder folder;
    Head head;
    head.password = "";
    folder.writeBoth(head, "", "");
    const CheckRun run = check(folder);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.contains(u8("Mail password: (empty)\n"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(u8("Servers: 0\n")));
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

struct BadCase {
    const char* name;
    QByteArray kervo;  // after the head
    QByteArray servers;
    Head head;
    const char* error;
};

class CheckFailure : public ::testing::TestWithParam<BadCase> {};

TEST_P(CheckFailure, badSettings_printsErrorAndFails) {
    SettingsFolder folder;
    folder.writeBoth(GetParam().head, GetParam().kervo, GetParam().servers);
    const CheckRun run = check(folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.startsWith(u8("error: ") + u8(GetParam().error))) << run.err.toStdString();
}

Head headWith(const char* dialPicture) {
    Head head;
    head.dial = dialPicture;
    return head;
}

INSTANTIATE_TEST_SUITE_P(Failures, CheckFailure,
                         ::testing::Values(BadCase{"ruleCutShort", "R1,a\r\n", "", Head{},
                                                   "kervo.ini, line 9: rule record 1"},
                                           BadCase{"dialPictureMissing", "", "",
                                                   headWith("dial.png"), "kervo.ini, line 3: "},
                                           BadCase{"tooManyServers", "",
                                                   kervo::test::serverLines(13), Head{},
                                                   "server.ini, line 13: "}),
                         [](const ::testing::TestParamInfo<BadCase>& p) { return p.param.name; });

TEST(CheckCommand, missingFiles_failNamingTheFile) {
    SettingsFolder folder;
    const CheckRun run = check(folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith(u8("error: kervo.ini: cannot open"))) << run.err.toStdString();
}

}  // namespace
