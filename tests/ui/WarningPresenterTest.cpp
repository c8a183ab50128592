// Warnings reach the operator without stopping anything.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/ProblemLog.h"
#include "ui/WarningPresenter.h"

using namespace kervo;
using namespace Qt::StringLiterals;

namespace {

TEST(WarningPresenter, warnings_oneNonModalPlainTextBoxWithTheLatestUntilClosed) {
    ProblemLog log{nullptr};
    QWidget window;
    WarningPresenter presenter{log, &window};
    for (int i = 1; i <= WarningPresenter::kMaxShown + 1; ++i) {
        log.warn(u"<b>warning</b> %1"_s.arg(i));
    }
    QPointer<QMessageBox> box = presenter.box();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    const QStringList lines = box->text().split(u'\n');
    ASSERT_EQ(lines.size(), WarningPresenter::kMaxShown);
    EXPECT_EQ(lines.first(), u"<b>warning</b> 2"_s);
    // once the operator has closed it, the next warning opens a fresh box
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
    log.warn(u"later"_s);
    ASSERT_NE(presenter.box(), nullptr);
    EXPECT_EQ(presenter.box()->text(), u"later"_s);
}

}  // namespace
