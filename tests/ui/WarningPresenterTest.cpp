// Warnings reach the operator without stopping anything; a start-up error stops and waits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "app/ProblemLog.h"
#include "ui/WarningPresenter.h"

using namespace kervo;

namespace {

class WarningPresenterTest : public ::testing::Test {
  protected:
    ProblemLog log{nullptr};
    QWidget window;
    WarningPresenter presenter{log, &window};
};

TEST_F(WarningPresenterTest, warning_nonModalPlainTextBox) {
    log.warn(QStringLiteral("cannot reach <b>mail</b> & co"));
    QMessageBox* box = presenter.box();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), QStringLiteral("cannot reach <b>mail</b> & co"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WarningPresenterTest, repeatedWarnings_oneBoxKeepsTheLatest) {
    for (int i = 1; i <= WarningPresenter::kMaxShown + 2; ++i) {
        log.warn(QStringLiteral("warning %1").arg(i));
    }
    const QStringList lines = presenter.box()->text().split(u'\n');
    ASSERT_EQ(lines.size(), WarningPresenter::kMaxShown);
    EXPECT_EQ(lines.first(), QStringLiteral("warning 3"));
    EXPECT_EQ(lines.last(), QStringLiteral("warning %1").arg(WarningPresenter::kMaxShown + 2));
}

TEST_F(WarningPresenterTest, boxClosed_nextWarningStartsAFreshBox) {
    log.warn(QStringLiteral("first"));
    presenter.box()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(presenter.box(), nullptr);
    log.warn(QStringLiteral("second"));
    ASSERT_NE(presenter.box(), nullptr);
    EXPECT_EQ(presenter.box()->text(), QStringLiteral("second"));
}

TEST(StartupError, modalCriticalBox_returnsWhenClosed) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr) {
            icon = box->icon();
            text = box->text();
            format = box->textFormat();
            box->close();
        }
    });
    WarningPresenter::showStartupError(QStringLiteral("kervo.ini, line 1: <missing>"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(text, QStringLiteral("kervo.ini, line 1: <missing>"));
    EXPECT_EQ(format, Qt::PlainText);
}

}  // namespace
