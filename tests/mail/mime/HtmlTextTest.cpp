#include <gtest/gtest.h>

#include "MimeFixtures.h"
#include "mail/mime/HtmlText.h"

namespace kervo::mime {
namespace {

struct HtmlCase {
    const char* name;
    QString html;
    QString expected;
};

class HtmlToTextTest : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(HtmlToTextTest, html_reducesToReadableText) {
    EXPECT_EQ(htmlToText(GetParam().html), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HtmlToTextTest,
    ::testing::Values(
        HtmlCase{"InlineTagsDropped", QStringLiteral("<b>web01</b> <i>changed</i>"),
                 QStringLiteral("web01 changed")},
        HtmlCase{"BreaksAndBlocks", QStringLiteral("a<br>b<BR/>c<p>d</p><div>e</div>f"),
                 QStringLiteral("a\r\nb\r\nc\r\nd\r\ne\r\nf")},
        HtmlCase{"SourceWhitespaceCollapsed", QStringLiteral("  one\r\n   two\t three  "),
                 QStringLiteral("one two three")},
        HtmlCase{"PreKeepsWhitespace", QStringLiteral("<pre>a  b\n c</pre>after"),
                 QStringLiteral("a  b\n c\r\nafter")},
        HtmlCase{"NamedEntities", QStringLiteral("&lt;tag&gt; &amp; &quot;q&quot;&nbsp;&yen;"),
                 QString::fromUtf16(u"<tag> & \"q\" \u00a5")},
        HtmlCase{"NumericEntities", QStringLiteral("&#12354;&#x3042;&#X3042;&#128512;"),
                 QString::fromUtf16(u"\u3042\u3042\u3042\U0001F600")},
        HtmlCase{"InvalidNumericEntity", QStringLiteral("&#0;&#xD800;&#x110000;"),
                 QString::fromUtf16(u"\uFFFD\uFFFD\uFFFD")},
        HtmlCase{"UnknownEntityKept", QStringLiteral("&bogus; & &#; &amp"),
                 QStringLiteral("&bogus; & &#; &amp")},
        HtmlCase{"HiddenContentDropped",
                 QStringLiteral("<head><title>T</title><style>p{}</style></head>"
                                "<script>if (a<b) x()</script><!-- note -->text"),
                 QStringLiteral("text")},
        HtmlCase{"UnclosedHiddenElementDoesNotSwallowMail", QStringLiteral("<head>body text"),
                 QStringLiteral("body text")},
        HtmlCase{"QuotedGreaterThanInAttribute", QStringLiteral("<a title=\"x>y\">link</a>"),
                 QStringLiteral("link")},
        HtmlCase{"LessThanThatIsNoTag", QStringLiteral("1 < 2 <3"), QStringLiteral("1 < 2 <3")},
        HtmlCase{"UnterminatedTagAndComment", QStringLiteral("ok<div class=\"x"),
                 QStringLiteral("ok")},
        HtmlCase{"UnterminatedComment", QStringLiteral("ok<!-- never closed"),
                 QStringLiteral("ok")},
        HtmlCase{"TableCellsSeparated",
                 QStringLiteral("<table><tr><td>host</td><td>web01</td></tr>"
                                "<tr><td>state</td><td>ok</td></tr></table>"),
                 QStringLiteral("host web01\r\nstate ok")}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace kervo::mime
