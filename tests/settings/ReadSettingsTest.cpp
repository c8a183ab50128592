#include <gtest/gtest.h>

#include "SettingsFiles.h"
#include "settings/Settings.h"

using kervo::LooseValue;
using kervo::readSettings;
using kervo::Settings;
using kervo::SettingsError;
using kervo::test::Head;
using kervo::test::ruleLines;
using kervo::test::serverLines;
using kervo::test::SettingsFolder;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}
LooseValue text(const char* t) {
    return LooseValue::fromText(u8(t));
}
LooseValue number(double n) {
    return LooseValue::fromNumber(n);
}

Settings readOk(const SettingsFolder& folder) {
    auto read = readSettings(folder.dir());
    if (const auto* error = std::get_if<SettingsError>(&read)) {
        ADD_FAILURE() << error->toText().toStdString();
        return {};
    }
    return std::get<Settings>(std::move(read));
}

SettingsError readError(const SettingsFolder& folder) {
    auto read = readSettings(folder.dir());
    if (!std::holds_alternative<SettingsError>(read)) {
        ADD_FAILURE() << "the settings were read without error";
        return {};
    }
    return std::get<SettingsError>(std::move(read));
}

// Everything read, one value a line, so that two readings compare with a readable difference.
std::string dump(const Settings& s) {
    QStringList out = {s.backgroundPicture,
                       s.alarmBackgroundPicture,
                       s.dialPicture,
                       s.dialAlarmPicture,
                       s.purgeLimit.toText(),
                       s.mailServer,
                       s.mailUser,
                       s.mailPassword};
    for (const auto& r : s.rules) {
        out << r.tag.toText() << r.firstPattern.toText() << r.secondPattern.toText() << r.message;
    }
    for (const auto& server : s.servers) {
        out << server.name.toText() << server.command.toText();
    }
    return out.join(u'\n').toStdString();
}

TEST(ReadSettings, threeServerTwoRuleFiles_loadEveryValue) {
    SettingsFolder folder;
    Head head{"img\\back.gif", "img\\backalarm.gif", "img\\dial.gif", "img\\dialalarm.gif"};
    folder.writeBoth(
        head,
        "\"R1\",\"changed\",\"Server A\",\"Server A: files changed, check at once\"\r\n"
        "R2,intrusion,login,Intrusion suspected\r\n",
        "\"Server A\",\"console.exe A\"\r\n"
        "\"Server B\",\"\"\r\n"
        "Server C,console.exe C\r\n");
    const Settings s = readOk(folder);
    EXPECT_EQ(s.backgroundPicture, u8("img\\back.gif"));
    EXPECT_EQ(s.alarmBackgroundPicture, u8("img\\backalarm.gif"));
    EXPECT_EQ(s.dialPicture, u8("img\\dial.gif"));
    EXPECT_EQ(s.dialAlarmPicture, u8("img\\dialalarm.gif"));
    EXPECT_EQ(s.purgeLimit, number(120));
    ASSERT_EQ(s.rules.size(), 2u);
    EXPECT_EQ(s.rules[0].tag, text("R1"));
    EXPECT_EQ(s.rules[0].firstPattern, text("changed"));
    EXPECT_EQ(s.rules[0].secondPattern, text("Server A"));
    EXPECT_EQ(s.rules[0].message, u8("Server A: files changed, check at once"));
    EXPECT_EQ(s.rules[1].tag, text("R2"));
    EXPECT_EQ(s.rules[1].firstPattern, text("intrusion"));
    EXPECT_EQ(s.rules[1].secondPattern, text("login"));
    EXPECT_EQ(s.rules[1].message, u8("Intrusion suspected"));
    ASSERT_EQ(s.servers.size(), 3u);
    EXPECT_EQ(s.servers[0].name, text("Server A"));
    EXPECT_EQ(s.servers[0].command, text("console.exe A"));
    EXPECT_EQ(s.servers[1].name, text("Server B"));
    EXPECT_EQ(s.servers[1].command.toText(), QString());
    EXPECT_EQ(s.servers[2].name, text("Server C"));
    EXPECT_EQ(s.servers[2].command, text("console.exe C"));
}

TEST(ReadSettings, headLines_keptExactlyAsWritten) {
    SettingsFolder folder;
    Head head{"\"img\\back.gif\"", " a, b ", "", ""};
    head.server = "  pop.example.com ";
    head.user = "user,\"x\"";
    head.password = " p,\"w\" ";
    folder.writeBoth(head, "", "");
    const Settings s = readOk(folder);
    EXPECT_EQ(s.backgroundPicture, u8("\"img\\back.gif\""));
    EXPECT_EQ(s.alarmBackgroundPicture, u8(" a, b "));
    EXPECT_EQ(s.mailServer, u8("  pop.example.com "));
    EXPECT_EQ(s.mailUser, u8("user,\"x\""));
    EXPECT_EQ(s.mailPassword, u8(" p,\"w\" "));
}

struct PurgeCase {
    const char* name;
    QByteArray line5;
    LooseValue purge;
    const char* mailServer;
};

class PurgeLine : public ::testing::TestWithParam<PurgeCase> {};

TEST_P(PurgeLine, line5_givesPurgeLimitAndMailServer) {
    SettingsFolder folder;
    Head head;
    head.purge = GetParam().line5;
    folder.writeBoth(head, "", "");
    const Settings s = readOk(folder);
    EXPECT_EQ(s.purgeLimit, GetParam().purge);
    EXPECT_EQ(s.mailServer, u8(GetParam().mailServer));
}

INSTANTIATE_TEST_SUITE_P(
    Line5, PurgeLine,
    ::testing::Values(PurgeCase{"number", "120", number(120), "pop.example.com"},
                      PurgeCase{"blanksAround", "  10 \t", number(10), "pop.example.com"},
                      PurgeCase{"empty", "", LooseValue(), "pop.example.com"},
                      PurgeCase{"quotedNumber", "\"30\"", text("30"), "pop.example.com"},
                      PurgeCase{"negative", "-1", number(-1), "pop.example.com"}),
    [](const ::testing::TestParamInfo<PurgeCase>& p) { return p.param.name; });

// Line 5 is a field: a comma after the number ends it, and the rest of the line is the first
// whole line after it, so the mail lines move up by one.
TEST(ReadSettings, commaAfterPurgeLimit_restOfLineIsMailServer) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "", "");
    folder.writeKervo("\r\n\r\n\r\n\r\n120, pop.example.com\r\nwatch\r\nsecret\r\nR1,a,b,c\r\n");
    const Settings s = readOk(folder);
    EXPECT_EQ(s.purgeLimit, number(120));
    EXPECT_EQ(s.mailServer, u8(" pop.example.com"));
    EXPECT_EQ(s.mailUser, u8("watch"));
    EXPECT_EQ(s.mailPassword, u8("secret"));
    ASSERT_EQ(s.rules.size(), 1u);  // line 8 already holds the first rule
    EXPECT_EQ(s.rules[0].tag, text("R1"));
}

TEST(ReadSettings, purgeLimitNotANumber_isErrorOnLine5) {
    for (const char* line5 : {"abc", "12x", "\"ten\"", "1 2"}) {
        SettingsFolder folder;
        Head head;
        head.purge = line5;
        folder.writeBoth(head, "", "");
        const SettingsError e = readError(folder);
        EXPECT_EQ(e.file, u8("kervo.ini")) << line5;
        EXPECT_EQ(e.line, 5) << line5;
        EXPECT_TRUE(e.what.contains(u8("expected a whole number"))) << e.what.toStdString();
    }
}

TEST(ReadSettings, looseFields_unquotedNumbersLoseTheirForm) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "007,\"007\",-1.50,007\r\n\"\",,\"\",\r\n",
                     "01,\"01\"\r\n\"01\",01\r\n");
    const Settings s = readOk(folder);
    ASSERT_EQ(s.rules.size(), 2u);
    EXPECT_EQ(s.rules[0].tag.toText(), u8("7"));
    EXPECT_EQ(s.rules[0].firstPattern.toText(), u8("007"));
    EXPECT_EQ(s.rules[0].secondPattern.toText(), u8("-1.5"));
    EXPECT_EQ(s.rules[0].message, u8("007"));  // a message is taken as written
    EXPECT_TRUE(s.rules[1].tag.isText());
    EXPECT_TRUE(s.rules[1].firstPattern.isEmpty());
    EXPECT_TRUE(s.rules[1].message.isEmpty());
    ASSERT_EQ(s.servers.size(), 2u);
    EXPECT_EQ(s.servers[0].name.toText(), u8("1"));
    EXPECT_EQ(s.servers[0].command.toText(), u8("01"));
    EXPECT_EQ(s.servers[1].name.toText(), u8("01"));
    EXPECT_EQ(s.servers[1].command.toText(), u8("1"));
}

TEST(ReadSettings, recordSpreadOverLines_loadsAsOnOneLine) {
    SettingsFolder oneLine;
    oneLine.writeBoth(Head{}, "R1,changed,\"A, B\",check now\r\nR2,x,y,z\r\n",
                      "host,\"run it\"\r\n");
    SettingsFolder spread;
    spread.writeBoth(Head{}, "R1,changed\r\n\"A, B\"\r\ncheck now\r\nR2\r\nx,y\r\nz",
                     "host\r\n\"run it\"");
    EXPECT_EQ(dump(readOk(oneLine)), dump(readOk(spread)));
}

TEST(ReadSettings, fiveFieldRuleLine_shiftsLaterRules) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "A,b,c,d,e\r\nF,g,h,i\r\nJ,k,l\r\n", "");
    const Settings s = readOk(folder);
    ASSERT_EQ(s.rules.size(), 3u);
    EXPECT_EQ(s.rules[1].tag, text("e"));
    EXPECT_EQ(s.rules[1].firstPattern, text("F"));
    EXPECT_EQ(s.rules[1].message, u8("h"));
    EXPECT_EQ(s.rules[2].tag, text("i"));
    EXPECT_EQ(s.rules[2].message, u8("l"));
}

TEST(ReadSettings, fiveFieldRuleLineWithoutCompensation_lastRecordCutShort) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "A,b,c,d,e\r\nF,g,h,i\r\n", "");
    const SettingsError e = readError(folder);
    EXPECT_EQ(e.file, u8("kervo.ini"));
    // nine fields: two whole records, and a third that is only the last field of line 10
    EXPECT_EQ(e.line, 10);
    EXPECT_TRUE(e.what.contains(u8("rule record 3 ends after 1 of its 4 fields")))
        << e.what.toStdString();
}

struct LineEndCase {
    const char* name;
    QByteArray lineEnd;
};

class LineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(LineEnds, anyLineEnd_readsLikeCrLf) {
    const QByteArray rules = "R1,\"a, b\",c,d\r\nR2,e,f,\"g\"\r\n";
    const QByteArray servers = "s1,\"c 1\"\r\ns2,\r\n";
    SettingsFolder reference;
    reference.writeBoth(Head{}, rules, servers);
    const auto withEnds = [&](QByteArray bytes) {
        return bytes.replace("\r\n", GetParam().lineEnd);
    };
    SettingsFolder other;
    other.writeKervo(withEnds(Head{}.bytes() + rules));
    other.writeServers(withEnds(servers));
    EXPECT_EQ(dump(readOk(reference)), dump(readOk(other)));
    EXPECT_EQ(readOk(other).rules.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Styles, LineEnds,
                         ::testing::Values(LineEndCase{"cr", "\r"}, LineEndCase{"lf", "\n"},
                                           LineEndCase{"crLf", "\r\n"}),
                         [](const ::testing::TestParamInfo<LineEndCase>& p) {
                             return p.param.name;
                         });

TEST(ReadSettings, whiteSpaceAfterLastRecord_isIgnored) {
    for (const char* tail : {"", "\r\n", "\r\n\r\n", "   ", "\r\n \t\r\n", "\n\n"}) {
        SettingsFolder folder;
        folder.writeKervo(Head{}.bytes() + "R1,a,b,c" + tail);
        folder.writeServers(QByteArray("host,cmd") + tail);
        const Settings s = readOk(folder);
        EXPECT_EQ(s.rules.size(), 1u) << tail;
        EXPECT_EQ(s.rules.at(0).message, u8("c")) << tail;
        ASSERT_EQ(s.servers.size(), 1u) << tail;
        EXPECT_EQ(s.servers[0].command, text("cmd")) << tail;
    }
}

TEST(ReadSettings, trailingCommaOnLastRecord_givesEmptyLastField) {
    for (const char* tail : {"", "\r\n"}) {
        SettingsFolder folder;
        folder.writeBoth(Head{}, QByteArray("R1,a,b,") + tail, QByteArray("host,") + tail);
        const Settings s = readOk(folder);
        ASSERT_EQ(s.rules.size(), 1u) << tail;
        EXPECT_EQ(s.rules[0].secondPattern, text("b"));
        EXPECT_TRUE(s.rules[0].message.isEmpty());
        ASSERT_EQ(s.servers.size(), 1u);
        EXPECT_TRUE(s.servers[0].command.isEmpty());
    }
}

struct CountCase {
    int records;
    int errorLine;  // 0: loads
};

class RuleCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(RuleCount, ruleRecords_loadUpTo200) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, ruleLines(GetParam().records), "");
    if (GetParam().errorLine == 0) {
        const Settings s = readOk(folder);
        ASSERT_EQ(s.rules.size(), static_cast<size_t>(GetParam().records));
        if (!s.rules.empty()) {
            EXPECT_EQ(s.rules.back().tag.toText(), QStringLiteral("R%1").arg(s.rules.size()));
            EXPECT_EQ(s.rules.back().message, QStringLiteral("message %1").arg(s.rules.size()));
        }
    } else {
        const SettingsError e = readError(folder);
        EXPECT_EQ(e.file, u8("kervo.ini"));
        EXPECT_EQ(e.line, GetParam().errorLine);
        EXPECT_TRUE(e.what.contains(u8("200"))) << e.what.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, RuleCount,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 0}, CountCase{200, 0},
                                           CountCase{201, 209}));

class ServerCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(ServerCount, serverRecords_loadUpTo12) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "", serverLines(GetParam().records));
    if (GetParam().errorLine == 0) {
        const Settings s = readOk(folder);
        ASSERT_EQ(s.servers.size(), static_cast<size_t>(GetParam().records));
        for (size_t k = 0; k < s.servers.size(); ++k) {
            EXPECT_EQ(s.servers[k].name.toText(), QStringLiteral("host-%1").arg(k));
        }
    } else {
        const SettingsError e = readError(folder);
        EXPECT_EQ(e.file, u8("server.ini"));
        EXPECT_EQ(e.line, GetParam().errorLine);
        EXPECT_TRUE(e.what.contains(u8("12"))) << e.what.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, ServerCount,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 0}, CountCase{12, 0},
                                           CountCase{13, 13}));

TEST(ReadSettings, shortHead_isErrorNamingTheMissingLine) {
    const QByteArray full = Head{}.bytes();
    for (int lines = 0; lines < 8; ++lines) {
        SettingsFolder folder;
        QByteArray bytes;
        for (const QByteArray& line : full.split('\n').mid(0, lines)) {
            bytes += line + "\n";
        }
        folder.writeBoth(Head{}, "", "");
        folder.writeKervo(bytes);
        const SettingsError e = readError(folder);
        EXPECT_EQ(e.file, u8("kervo.ini"));
        EXPECT_EQ(e.line, lines + 1);
        EXPECT_TRUE(e.what.contains(QStringLiteral("before line %1").arg(lines + 1)))
            << e.what.toStdString();
    }
}

TEST(ReadSettings, recordCutShort_isErrorOnItsFirstLine) {
    SettingsFolder rules;
    rules.writeBoth(Head{}, "R1,a,b,c\r\nR2,x\r\n", "");
    const SettingsError r = readError(rules);
    EXPECT_EQ(r.toText(), u8("kervo.ini, line 10: rule record 2 ends after 2 of its 4 fields "
                             "(tag, first pattern, second pattern, message)"));

    SettingsFolder servers;
    servers.writeBoth(Head{}, "", "a,b\r\nServer A\r\n");
    const SettingsError s = readError(servers);
    EXPECT_EQ(s.toText(), u8("server.ini, line 2: server record 2 ends after 1 of its 2 fields "
                             "(name, command)"));
}

TEST(ReadSettings, unclosedQuote_isErrorOnItsLine) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "R1,a,b,c\r\nR2,\"x,y,z\r\n", "");
    const SettingsError e = readError(folder);
    EXPECT_EQ(e.line, 10);
    EXPECT_TRUE(e.what.contains(u8("never closed"))) << e.what.toStdString();
}

TEST(ReadSettings, missingOrUnreadableFile_isErrorForThatFile) {
    SettingsFolder noKervo;
    noKervo.writeServers(serverLines(1));
    EXPECT_EQ(readError(noKervo).file, u8("kervo.ini"));

    SettingsFolder noServers;
    noServers.writeKervo(Head{}.bytes());
    const SettingsError e = readError(noServers);
    EXPECT_EQ(e.file, u8("server.ini"));
    EXPECT_EQ(e.line, 0);
    EXPECT_TRUE(e.toText().startsWith(u8("server.ini: cannot open"))) << e.toText().toStdString();

    SettingsFolder directory;
    directory.writeServers(serverLines(1));
    ASSERT_TRUE(directory.dir().mkdir(u8("kervo.ini")));
    EXPECT_EQ(readError(directory).file, u8("kervo.ini"));
}

// ①改ざん検知～ and サーバＡ, and the same in UTF-8
const QByteArray kCp932Alarm("\x87\x40\x89\xfc\x82\xb4\x82\xf1\x8c\x9f\x92\x6d\x81\x60");
const QByteArray kCp932Server("\x83\x54\x81\x5b\x83\x6f\x82\x60");
const QByteArray kUtf8Alarm(
    "\xe2\x91\xa0\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93\xe6\xa4\x9c\xe7"
    "\x9f\xa5\xef\xbd\x9e");
const QByteArray kUtf8Server("\xe3\x82\xb5\xe3\x83\xbc\xe3\x83\x90\xef\xbc\xa1");

struct EncodingCase {
    const char* name;
    QByteArray prefix;  // a byte-order mark or nothing
    QByteArray alarm;
    QByteArray server;
};

class Encodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Encodings, japaneseFiles_readAsWritten) {
    const EncodingCase& c = GetParam();
    SettingsFolder folder;
    folder.writeKervo(c.prefix + Head{}.bytes() + "R1," + c.server + ",x,\"" + c.alarm + "\"\r\n");
    folder.writeServers(c.prefix + c.server + ",\"" + c.alarm + "\"\r\n");
    const Settings s = readOk(folder);
    ASSERT_EQ(s.rules.size(), 1u);
    EXPECT_EQ(s.backgroundPicture, QString());  // the mark is not part of line 1
    EXPECT_EQ(s.rules[0].firstPattern, text("サーバＡ"));
    EXPECT_EQ(s.rules[0].message, u8("①改ざん検知～"));
    ASSERT_EQ(s.servers.size(), 1u);
    EXPECT_EQ(s.servers[0].name, text("サーバＡ"));
    EXPECT_EQ(s.servers[0].command, text("①改ざん検知～"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, Encodings,
    ::testing::Values(EncodingCase{"cp932", "", kCp932Alarm, kCp932Server},
                      EncodingCase{"utf8", "", kUtf8Alarm, kUtf8Server},
                      EncodingCase{"utf8WithBom", "\xEF\xBB\xBF", kUtf8Alarm, kUtf8Server}),
    [](const ::testing::TestParamInfo<EncodingCase>& p) { return p.param.name; });

}  // namespace
