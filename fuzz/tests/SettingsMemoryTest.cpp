// The in-memory reading must agree with readSettings on real files, or the fast settings
// fuzzer would explore a reader that does not exist.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "SettingsMemory.h"

namespace kervo::fuzz {
namespace {

const QByteArray kHead =
    "back.png\r\nalarm.gif\r\ndial.bmp\r\ndialalarm.gif\r\n120\r\npop.example\r\nwatch\r\npw\r\n";

QByteArray rules(int n) {
    QByteArray out;
    for (int k = 1; k <= n; ++k) {
        out += "R" + QByteArray::number(k) + ",first,second,message\r\n";
    }
    return out;
}

QByteArray servers(int n) {
    QByteArray out;
    for (int k = 0; k < n; ++k) {
        out += "\"host-" + QByteArray::number(k) + "\",console\r\n";
    }
    return out;
}

struct Pair {
    const char* name;
    QByteArray kervo;
    QByteArray servers;
    int errorLine;  // -1 when the files load
};

std::vector<Pair> pairs() {
    return {
        {"usual", kHead + rules(2), servers(3), -1},
        {"noRules", kHead, servers(1), -1},
        {"twoHundredRules", kHead + rules(200), servers(12), -1},
        {"tooManyRules", kHead + rules(201), servers(1), 209},
        {"tooManyServers", kHead, servers(13), 13},
        {"emptyServerFile", kHead + rules(1), "", -1},
        {"headCutShort", "a\r\nb\r\nc\r\n", "", 4},
        {"lfOnly", "a\nb\nc\nd\n5\ns\nu\np\nR,x,y,z\n", "h,c\n", -1},
        {"crOnly", "a\rb\rc\rd\r5\rs\ru\rp\r", "h,c\r", -1},
        {"purgeWord", "a\r\nb\r\nc\r\nd\r\nsoon\r\ns\r\nu\r\np\r\n", "", 5},
        {"purgeCommaRestIsServer", "a\r\nb\r\nc\r\nd\r\n5,pop\r\nu\r\np\r\n", "", -1},
        {"recordOverTwoLines", kHead + "R1,a,b\r\nmessage\r\n", servers(1), -1},
        {"ruleCutShort", kHead + "R1,a,b\r\n", servers(1), 9},
        {"unclosedQuote", kHead + "R1,\"a,b,c\r\n\r\n", servers(1), 9},
        {"quoteOverLines", kHead + "R1,\"a\r\nb\",c,d\r\nR2,e,f,g\r\n", servers(1), -1},
        {"numbersAndQuotedNumbers", kHead + "007,\"007\",-1.5,42\r\n", "01,\"01\"\r\n", -1},
        {"trailingComma", kHead + "R1,a,b,", "x,", -1},
        {"byteOrderMark", "\xEF\xBB\xBF" + kHead, "\xEF\xBB\xBFh,c", -1},
        {"shiftJis", kHead + "R1,\x83\x54\x81\x5B\x83\x6F,b,c\r\n", "\x83\x54,c\r\n", -1},
        {"blanksAroundFields", kHead + "  R1 ,\ta\t, \"b\" x , m \r\n", " h , c ", -1},
        {"serverRecordCutShort", kHead, "h,c\r\nlonely\r\n", 2},
    };
}

void PrintTo(const Pair& pair, std::ostream* out) {
    *out << pair.name;
}

class SettingsMemory : public ::testing::TestWithParam<Pair> {};

TEST_P(SettingsMemory, pair_readsAsFromFiles) {
    const Pair& pair = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& [name, bytes] : {std::pair{QStringLiteral("kervo.ini"), pair.kervo},
                                      std::pair{QStringLiteral("server.ini"), pair.servers}}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    const SettingsRead fromFiles = readSettings(QDir(dir.path()));
    if (pair.errorLine < 0) {
        ASSERT_TRUE(std::holds_alternative<Settings>(fromFiles))
            << std::get<SettingsError>(fromFiles).toText().toStdString();
    } else {
        ASSERT_TRUE(std::holds_alternative<SettingsError>(fromFiles));
        EXPECT_EQ(std::get<SettingsError>(fromFiles).line, pair.errorLine);
    }
    EXPECT_EQ(
        compareSettingsReads(fromFiles, readSettingsBytes(pair.kervo, pair.servers)).toStdString(),
        std::string());
}

INSTANTIATE_TEST_SUITE_P(Pairs, SettingsMemory, ::testing::ValuesIn(pairs()),
                         [](const auto& p) { return std::string(p.param.name); });

// The comparison is what the files fuzzer trusts to notice a drift; each change must show.
TEST(CompareSettingsReads, anyChange_isReported) {
    const Settings base = std::get<Settings>(readSettingsBytes(kHead + rules(2), servers(2)));
    const std::vector<std::pair<const char*, void (*)(Settings&)>> changes = {
        {"background", [](Settings& s) { s.backgroundPicture += u'x'; }},
        {"alarm background", [](Settings& s) { s.alarmBackgroundPicture.clear(); }},
        {"dial", [](Settings& s) { s.dialPicture += u'x'; }},
        {"dial alarm", [](Settings& s) { s.dialAlarmPicture += u'x'; }},
        {"purge as text",
         [](Settings& s) { s.purgeLimit = LooseValue::fromText(QStringLiteral("120")); }},
        {"mail server", [](Settings& s) { s.mailServer += u'x'; }},
        {"mail user", [](Settings& s) { s.mailUser += u'x'; }},
        {"mail password", [](Settings& s) { s.mailPassword += u'x'; }},
        {"rule dropped", [](Settings& s) { s.rules.pop_back(); }},
        {"rule tag", [](Settings& s) { s.rules[1].tag = LooseValue(); }},
        {"rule first", [](Settings& s) { s.rules[0].firstPattern = LooseValue::fromNumber(1); }},
        {"rule second", [](Settings& s) { s.rules[1].secondPattern = LooseValue(); }},
        {"rule message", [](Settings& s) { s.rules[0].message += u'x'; }},
        {"server added", [](Settings& s) { s.servers.push_back({}); }},
        {"server name", [](Settings& s) { s.servers[1].name = LooseValue(); }},
        {"server command", [](Settings& s) { s.servers[0].command = LooseValue(); }},
    };
    EXPECT_EQ(compareSettingsReads(base, base).toStdString(), std::string());
    for (const auto& [name, change] : changes) {
        Settings changed = base;
        change(changed);
        EXPECT_FALSE(compareSettingsReads(base, changed).isEmpty()) << name;
    }
    const SettingsError error{QStringLiteral("kervo.ini"), 9, QStringLiteral("x")};
    EXPECT_FALSE(compareSettingsReads(base, error).isEmpty());
    EXPECT_TRUE(compareSettingsReads(
                    error, SettingsError{QStringLiteral("kervo.ini"), 9, QStringLiteral("y")})
                    .isEmpty());
    EXPECT_FALSE(compareSettingsReads(
                     error, SettingsError{QStringLiteral("kervo.ini"), 10, QStringLiteral("x")})
                     .isEmpty());
    EXPECT_FALSE(compareSettingsReads(
                     error, SettingsError{QStringLiteral("server.ini"), 9, QStringLiteral("x")})
                     .isEmpty());
}

TEST(SplitSettingsInput, joinedPairs_splitBackUnchanged) {
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"", ""}, {"a\r\n", ""}, {"", "h,c"}, {kHead, servers(2)}, {"x<<server.ini", ">>y"}};
    for (const auto& [kervo, serverIni] : cases) {
        const QByteArray joined = joinSettingsInput(kervo, serverIni);
        EXPECT_EQ(splitSettingsInput(joined), std::pair(kervo, serverIni)) << joined.toStdString();
    }
    // Without a marker everything is kervo.ini; a second marker belongs to server.ini.
    EXPECT_EQ(splitSettingsInput("abc"), std::pair(QByteArray("abc"), QByteArray()));
    EXPECT_EQ(splitSettingsInput("a<<server.ini>>b<<server.ini>>c"),
              std::pair(QByteArray("a"), QByteArray("b<<server.ini>>c")));
}

}  // namespace
}  // namespace kervo::fuzz
