#include "mail/StatusNotice.h"

#include "app/FormModel.h"

namespace kervo {

void StatusNotice::setPollFailed(bool failed) {
    failed_ = failed;
    show();
}

void StatusNotice::setPollOverdue(bool overdue) {
    overdue_ = overdue;
    show();
}

void StatusNotice::setWithheldMails(int count) {
    withheld_ = count;
    show();
}

void StatusNotice::show() {
    QString trouble;
    if (failed_) {
        trouble = QStringLiteral("受信エラー");
    } else if (overdue_) {
        trouble = QStringLiteral("受信遅延");
    } else if (withheld_ > 0) {
        trouble = QStringLiteral("未受信 %1通").arg(withheld_);
    }
    if (!trouble.isEmpty()) {
        if (!showingTrouble_) {
            ownText_ = form_.labelText(FormLabel::Label11);
            showingTrouble_ = true;
        }
        form_.setLabelText(FormLabel::Label11, trouble);
    } else if (showingTrouble_) {
        form_.setLabelText(FormLabel::Label11, ownText_);
        showingTrouble_ = false;
    }
}

}  // namespace kervo
