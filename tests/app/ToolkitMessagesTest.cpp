#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cstdio>

#include "app/ToolkitMessages.h"

namespace kervo {
namespace {

// What the toolkit says lands in the log as Kervo's own lines: time-stamped, marked, once.
TEST(ToolkitMessages, warningsRepeatedAndDebug_oneMarkedStampedLineEach) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        ProblemLog log(stream);
        const ToolkitMessages routed(log);
        for (int blink = 0; blink < 3; ++blink) {
            qWarning("PulseAudioService: pa_context_connect() failed");
        }
        qDebug("a debug line");
        qCritical("a critical line");
    }
    qWarning("after the router is gone");  // back to the toolkit's own output, not the log
    std::rewind(stream);
    QByteArray written(4096, '\0');
    written.resize(static_cast<qsizetype>(std::fread(written.data(), 1, 4096, stream)));
    std::fclose(stream);
    const QStringList lines = QString::fromUtf8(written).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << written.constData();
    const QRegularExpression stamped(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d kervo: toolkit: "));
    EXPECT_TRUE(stamped.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(u"pa_context_connect() failed")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(u"toolkit: a critical line")) << lines[1].toStdString();
}

}  // namespace
}  // namespace kervo
