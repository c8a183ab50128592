#include <gtest/gtest.h>

#include <vector>

#include "SettingsFiles.h"
#include "settings/Settings.h"
#include "support/Printing.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using namespace kervo::test;

namespace {

using Bytes = std::optional<QByteArray>;
using kervo::test::PrintTo;

const QDir kFolder(u"/settings"_s);

Settings parseOk(const QByteArray& kervo, const QByteArray& servers) {
    Result<Settings, SettingsError> parsed = kervo::parseSettings(kervo, servers, kFolder);
    if (!parsed.ok()) {
        ADD_FAILURE() << parsed.error().toText().toStdString();
        return {};
    }
    return std::move(parsed).value();
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
    return (rules.join(u" / ") + u" ; "_s + servers.join(u" / ")).toStdString();
}

// The eight head lines, separated by |.
std::string headLines(const Settings& s) {
    const QStringList lines = {s.backgroundPicture, s.alarmBackgroundPicture,
                               s.dialPicture,       s.dialAlarmPicture,
                               show(s.purgeLimit),  s.mailServer,
                               s.mailUser,          s.mailPassword};
    return lines.join(u'|').toStdString();
}

// ①改ざん検知～ and ソフト (whose CP932 bytes end in the byte of a backslash), in CP932 and UTF-8.
const QByteArray kCp932 =
    "R1,\x83\x5c\x83\x74\x83\x67,x,\"\x87\x40\x89\xfc\x82\xb4\x82\xf1\x8c\x9f\x92\x6d\x81\x60\"";
const QByteArray kUtf8 =
    "R1,\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88,x,\"\xe2\x91\xa0\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93"
    "\xe6\xa4\x9c\xe7\x9f\xa5\xef\xbd\x9e\"";
const QByteArray kBom = "\xEF\xBB\xBF";
const char kJapanese[] = "R1|ソフト|x|①改ざん検知～ ; R1|ソフト / x|①改ざん検知～";

struct RecordRow {
    const char* name;
    QByteArray kervo;
    QByteArray servers;
    const char* records;
};

class RecordGrammar : public ::testing::TestWithParam<RecordRow> {};

TEST_P(RecordGrammar, files_readAsTheseRecords) {
    const RecordRow& row = GetParam();
    const Settings s = parseOk(row.kervo, row.servers);
    EXPECT_EQ(records(s), row.records);
    EXPECT_TRUE(s.backgroundPicture.isEmpty());  // a byte-order mark is not part of line 1
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordGrammar,
    ::testing::ValuesIn(std::vector<RecordRow>{
        {"quotedAndPlainFields_readAlike",
         head() + "\"R1\",\"changed\",\"Server A\",\"Server A: files changed, check at once\"\r\n"
                  "R2,intrusion,login,Intrusion suspected\r\n",
         "\"Server A\",\"console.exe A\"\r\n\"Server B\",\"\"\r\nServer C,console.exe C\r\n",
         "R1|changed|Server A|Server A: files changed, check at once / "
         "R2|intrusion|login|Intrusion suspected ; "
         "Server A|console.exe A / Server B| / Server C|console.exe C"},
        {"unquotedNumbers_becomeNumbersQuotedStayText", head() + "007,\"007\",-1.50,007\r\n",
         "01,\"01\"\r\n\"01\",01\r\n", "#7|007|#-1.5|007 ; #1|01 / 01|#1"},
        {"recordOverSeveralLines_readAsOne",
         head() + "R1,changed\r\n\"A, B\"\r\ncheck now\r\nR2\r\nx,y\r\nz", "host\r\n\"run it\"",
         "R1|changed|A, B|check now / R2|x|y|z ; host|run it"},
        {"fiveFieldsOnALine_spillIntoTheNextRecord", head() + "A,b,c,d,e\r\nF,g,h,i\r\nJ,k,l\r\n",
         "", "A|b|c|d / e|F|g|h / i|J|k|l ; "},
        {"blanksAndJunkAfterQuote_dropped",
         head() + " R1 \t,\"a, b\"junk,,\"q\r\nr\"\r\nR2\r\n\r\nx,y\r\n", "",
         "R1|a, b||q\r\nr / R2||x|y ; "},
        {"crLineEnds_readLikeCrLf",
         QByteArray(head() + "R1,\"a, b\",c,d\r\nR2,e,f,g\r\n").replace("\r\n", "\r"),
         "s1,\"c\r1\"\rs2,\r", "R1|a, b|c|d / R2|e|f|g ; s1|c\r1 / s2|"},
        {"blankLinesAtTheEnd_noFurtherRecord", head() + "R1,a,b,c\r\n\r\n \t\r\n", "host,cmd   ",
         "R1|a|b|c ; host|cmd"},
        {"cp932_decoded", head() + kCp932, kCp932, kJapanese},
        {"utf8_decoded", head() + kUtf8, kUtf8, kJapanese},
        {"byteOrderMark_dropped", kBom + head() + kUtf8, kBom + kUtf8, kJapanese},
    }),
    kervo::test::rowName);

TEST(RecordGrammar, twoHundredRulesAndTwelveServers_allKept) {
    const Settings full = parseOk(head() + ruleLines(200), serverLines(12));
    ASSERT_EQ(full.rules.size(), 200u);
    EXPECT_EQ(full.rules.back().message, u"message 200"_s);
    ASSERT_EQ(full.servers.size(), 12u);
    EXPECT_EQ(full.servers.back().name.toText(), u"host-11"_s);
}

struct HeadRow {
    const char* name;
    QByteArray kervo;
    const char* head;
};

class HeadLines : public ::testing::TestWithParam<HeadRow> {};

TEST_P(HeadLines, kervoIni_readAsTheseHeadLines) {
    EXPECT_EQ(headLines(parseOk(GetParam().kervo, "")), GetParam().head);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HeadLines,
    ::testing::ValuesIn(std::vector<HeadRow>{
        {"linesKeptAsWritten_picturesInTheSettingsFolder",
         head({{1, "\"img\\back.gif\""}, {2, " a, b "}, {6, " pop "}}),
         "/settings/\"img\\back.gif\"|/settings/ a, b |||#120| pop |watch|hunter2"},
        {"absolutePicturePath_keptAsIs", head({{3, "/srv/dial.png"}}),
         "||/srv/dial.png||#120|pop.example.com|watch|hunter2"},
        // The purge limit is a field: a comma ends it, and the rest of line 5 is the mail server.
        {"commaAfterPurge_restOfTheLineIsTheMailServer",
         "\r\n\r\n\r\n\r\n120, pop\r\nwatch\r\nsecret\r\nR1,a,b,c\r\n",
         "||||#120| pop|watch|secret"},
    }),
    kervo::test::rowName);

struct ErrorRow {
    const char* name;
    Bytes kervo;  // nothing: the file is missing
    Bytes servers;
    const char* file;
    int line;
    const char* words;
};

class SettingsErrors : public ::testing::TestWithParam<ErrorRow> {};

// The start-up and the check stop at the first of these the folder holds, in this order:
// kervo.ini, the pictures of its lines 1 and 3, server.ini.
TEST_P(SettingsErrors, folder_errorNamesFileAndLine) {
    const ErrorRow& row = GetParam();
    SettingsFolder folder;
    folder.writePictures();
    folder.writeBoth(row.kervo, row.servers);
    const Result<LoadedSettings, SettingsError> read = kervo::readSettings(folder.dir());
    ASSERT_FALSE(read.ok());
    const SettingsError& e = read.error();
    EXPECT_EQ(e.file, QString::fromUtf8(row.file));
    EXPECT_EQ(e.line, row.line);
    EXPECT_TRUE(e.toText().contains(QString::fromUtf8(row.words))) << e.toText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsErrors,
    ::testing::ValuesIn(std::vector<ErrorRow>{
        {"kervoIniMissing_cannotOpen", std::nullopt, serverLines(1), "kervo.ini", 0, "cannot open"},
        {"serverIniMissing_cannotOpen", head(), std::nullopt, "server.ini", 0, "cannot open"},
        {"emptyKervoIni_endsBeforeLine1", "", "", "kervo.ini", 1, "before line 1"},
        {"wordAsPurge_wholeNumberExpected", head({{5, "abc"}}), "", "kervo.ini", 5,
         "expected a whole number"},
        {"unclosedQuoteInPurge_neverClosed", head({{5, "\"30"}}), "", "kervo.ini", 5,
         "purge limit opens a double quote"},
        {"ruleCutShort_recordLine", head() + "R1,a,b,c\r\nR2,x\r\n", "", "kervo.ini", 10,
         "rule record 2 ends after 2 of its 4 fields"},
        {"serverCutShort_recordLine", head(), "a,b\r\nServer A\r\n", "server.ini", 2,
         "server record 2 ends after 1 of its 2 fields"},
        {"unclosedQuoteInRule_neverClosed", head() + "R1,a,b,c\r\nR2,\"x,y,z\r\n", "", "kervo.ini",
         10, "never closed"},
        {"rule201_noRoom", head() + ruleLines(201), "", "kervo.ini", 209, "200"},
        {"server13_noDial", head(), serverLines(13), "server.ini", 13, "12"},
        {"quotedBackgroundPath_notFound", head({{1, "\"img\\back.png\""}}), "", "kervo.ini", 1,
         "background picture does not load: picture file not found"},
        {"dialPictureMissing_notFound", head({{3, "img/none.gif"}}), "", "kervo.ini", 3,
         "dial picture does not load"},
        {"dialPictureMissingAndNoServerIni_pictureFirst", head({{3, "img/none.gif"}}), std::nullopt,
         "kervo.ini", 3, "dial picture does not load"},
    }),
    kervo::test::rowName);

}  // namespace
