#include <gtest/gtest.h>

#include "SettingsFiles.h"
#include "settings/Settings.h"

using kervo::LooseValue;
using kervo::Settings;
using kervo::SettingsError;
using kervo::test::head;
using kervo::test::ruleLines;
using kervo::test::serverLines;

namespace {

using Bytes = std::optional<QByteArray>;

std::variant<Settings, SettingsError> read(const Bytes& kervo, const Bytes& servers) {
    kervo::test::SettingsFolder folder;
    folder.writeBoth(kervo, servers);
    return kervo::readSettings(folder.dir());
}

Settings readOk(const Bytes& kervo, const Bytes& servers) {
    auto result = read(kervo, servers);
    if (const auto* error = std::get_if<SettingsError>(&result)) {
        ADD_FAILURE() << error->toText().toStdString();
        return {};
    }
    return std::get<Settings>(std::move(result));
}

// Numbers are marked with #, so that an unquoted 007 (#7) and a quoted one (007) differ.
QString show(const LooseValue& v) {
    return v.isNumber() ? u'#' + v.toText() : v.toText();
}

// The records read: fields separated by |, records by " / ", the rules from the servers by ;.
std::string records(const Settings& s) {
    QStringList rules;
    for (const auto& r : s.rules) {
        rules << QStringList{show(r.tag), show(r.firstPattern), show(r.secondPattern), r.message}
                     .join(u'|');
    }
    QStringList servers;
    for (const auto& server : s.servers) {
        servers << show(server.name) + u'|' + show(server.command);
    }
    return (rules.join(u" / ") + QStringLiteral(" ; ") + servers.join(u" / ")).toStdString();
}

// ①改ざん検知～ and ソフト (whose CP932 bytes end in the byte of a backslash), in CP932 and UTF-8.
const QByteArray kCp932 =
    "R1,\x83\x5c\x83\x74\x83\x67,x,\"\x87\x40\x89\xfc\x82\xb4\x82\xf1\x8c\x9f\x92\x6d\x81\x60\"";
const QByteArray kUtf8 =
    "R1,\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88,x,\"\xe2\x91\xa0\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93"
    "\xe6\xa4\x9c\xe7\x9f\xa5\xef\xbd\x9e\"";
const QByteArray kBom = "\xEF\xBB\xBF";
const char kJapanese[] = "R1|ソフト|x|①改ざん検知～ ; R1|ソフト / x|①改ざん検知～";

TEST(ReadSettings, recordFiles_loadTheseRecords) {
    struct Case {
        QByteArray kervo;
        QByteArray servers;
        const char* records;
    };
    const Case cases[] = {
        {head() + "\"R1\",\"changed\",\"Server A\",\"Server A: files changed, check at once\"\r\n"
                  "R2,intrusion,login,Intrusion suspected\r\n",
         "\"Server A\",\"console.exe A\"\r\n\"Server B\",\"\"\r\nServer C,console.exe C\r\n",
         "R1|changed|Server A|Server A: files changed, check at once / "
         "R2|intrusion|login|Intrusion suspected ; "
         "Server A|console.exe A / Server B| / Server C|console.exe C"},
        {head(), "", " ; "},
        {head() + "007,\"007\",-1.50,007\r\n", "01,\"01\"\r\n\"01\",01\r\n",
         "#7|007|#-1.5|007 ; #1|01 / 01|#1"},
        {head() + "R1,changed\r\n\"A, B\"\r\ncheck now\r\nR2\r\nx,y\r\nz", "host\r\n\"run it\"",
         "R1|changed|A, B|check now / R2|x|y|z ; host|run it"},
        {head() + "A,b,c,d,e\r\nF,g,h,i\r\nJ,k,l\r\n", "", "A|b|c|d / e|F|g|h / i|J|k|l ; "},
        {head() + "R1,a,b,", "host,", "R1|a|b| ; host|"},
        {head() + " R1 \t,\"a, b\"junk,,\"q\r\nr\"\r\nR2\r\n\r\nx,y\r\n", "",
         "R1|a, b||q\r\nr / R2||x|y ; "},
        {QByteArray(head() + "R1,\"a, b\",c,d\r\nR2,e,f,g\r\n").replace("\r\n", "\r"),
         "s1,\"c\r1\"\rs2,\r", "R1|a, b|c|d / R2|e|f|g ; s1|c\r1 / s2|"},
        {QByteArray(head() + "R1,\"a, b\",c,d\r\n").replace("\r\n", "\n"), "s1,c\ns2,\n",
         "R1|a, b|c|d ; s1|c / s2|"},
        {head() + "R1,a,b,c\r\n\r\n \t\r\n", "host,cmd   ", "R1|a|b|c ; host|cmd"},
        {head() + "R1,a,b,c\n\n", "host,cmd\r\n\xE3\x80\x80", "R1|a|b|c ; host|cmd"},
        {head() + kCp932, kCp932, kJapanese},
        {head() + kUtf8, kUtf8, kJapanese},
        {kBom + head() + kUtf8, kBom + kUtf8, kJapanese},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records);
        const Settings s = readOk(c.kervo, c.servers);
        EXPECT_EQ(records(s), c.records);
        EXPECT_TRUE(s.backgroundPicture.isEmpty());  // a byte-order mark is not part of line 1
    }
    const Settings full = readOk(head() + ruleLines(200), serverLines(12));
    ASSERT_EQ(full.rules.size(), 200u);
    EXPECT_EQ(full.rules.back().message, QStringLiteral("message 200"));
    ASSERT_EQ(full.servers.size(), 12u);
    EXPECT_EQ(full.servers.back().name.toText(), QStringLiteral("host-11"));
}

TEST(ReadSettings, headLines_keptExactlyAsWrittenExceptPurgeField) {
    const Settings s = readOk(head({{1, "\"img\\back.gif\""}, {2, " a, b "}, {6, " pop "}}), "");
    EXPECT_EQ(s.backgroundPicture, QStringLiteral("\"img\\back.gif\""));
    EXPECT_EQ(s.alarmBackgroundPicture, QStringLiteral(" a, b "));
    EXPECT_EQ(s.mailServer, QStringLiteral(" pop "));
    EXPECT_EQ(s.mailPassword, QStringLiteral("hunter2"));
    for (const auto& [line5, purge] : {std::pair{"  10 \t", "#10"}, {"\"30\"", "30"}, {"", ""}}) {
        EXPECT_EQ(show(readOk(head({{5, line5}}), "").purgeLimit), QString::fromUtf8(purge));
    }
    // A comma closes the purge field, and the rest of line 5 is the mail server.
    const Settings shifted =
        readOk("\r\n\r\n\r\n\r\n120, pop\r\nwatch\r\nsecret\r\nR1,a,b,c\r\n", "");
    EXPECT_EQ(shifted.mailServer, QStringLiteral(" pop"));
    EXPECT_EQ(shifted.mailPassword, QStringLiteral("secret"));
    EXPECT_EQ(records(shifted), "R1|a|b|c ; ");
}

TEST(ReadSettings, badFiles_errorNamesFileAndLine) {
    struct Case {
        Bytes kervo;
        Bytes servers;
        const char* file;
        int line;
        const char* words;
    };
    const Case cases[] = {
        {std::nullopt, serverLines(1), "kervo.ini", 0, "cannot open"},
        {head(), std::nullopt, "server.ini", 0, "cannot open"},
        {"", "", "kervo.ini", 1, "before line 1"},
        {"\r\n\r\n\r\n\r\n", "", "kervo.ini", 5, "before line 5"},
        {head().left(head().lastIndexOf("hunter2")), "", "kervo.ini", 8, "before line 8"},
        {head({{5, "abc"}}), "", "kervo.ini", 5, "expected a whole number"},
        {head({{5, "1 2"}}), "", "kervo.ini", 5, "expected a whole number"},
        {head() + "R1,a,b,c\r\nR2,x\r\n", "", "kervo.ini", 10,
         "rule record 2 ends after 2 of its 4 fields"},
        {head(), "a,b\r\nServer A\r\n", "server.ini", 2,
         "server record 2 ends after 1 of its 2 fields"},
        // nine fields: two whole records, and a third that is only the last field of line 10
        {head() + "A,b,c,d,e\r\nF,g,h,i\r\n", "", "kervo.ini", 10, "rule record 3 ends after 1"},
        {head() + "R1,a,b,c\r\nR2,\"x,y,z\r\n", "", "kervo.ini", 10, "never closed"},
        {head() + ruleLines(201), "", "kervo.ini", 209, "200"},
        {head(), serverLines(13), "server.ini", 13, "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        const auto result = read(c.kervo, c.servers);
        const auto* e = std::get_if<SettingsError>(&result);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->file, QString::fromUtf8(c.file));
        EXPECT_EQ(e->line, c.line);
        EXPECT_TRUE(e->toText().contains(QString::fromUtf8(c.words))) << e->toText().toStdString();
    }
}

}  // namespace
