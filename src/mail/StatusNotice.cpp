#include "mail/StatusNotice.h"

#include <algorithm>

#include "app/ScreenTexts.h"
#include "app/WindowModel.h"

namespace kervo {

void StatusNotice::setPollFailed(bool failed) {
    failed_ = failed;
    show();
}

void StatusNotice::setPollOverdue(bool overdue) {
    overdue_ = overdue;
    show();
}

void StatusNotice::setPushState(const PushState& state) {
    pushRetryInSeconds_ =
        state.kind == PushState::Kind::Reconnecting ? std::max(state.retryInSeconds, 0) : -1;
    show();
}

void StatusNotice::setWithheldMails(int count) {
    withheld_ = count;
    show();
}

void StatusNotice::setRemark(const QString& text) {
    remark_ = text;
    show();
}

void StatusNotice::show() {
    QString trouble;
    if (failed_) {
        trouble = screen::pollFailed();
    } else if (overdue_) {
        trouble = screen::pollOverdue();
    } else if (pushRetryInSeconds_ >= 0) {
        trouble = screen::pushReconnecting(pushRetryInSeconds_);
    } else if (withheld_ > 0) {
        trouble = screen::mailsWithheld(withheld_);
    } else {
        trouble = remark_;
    }
    if (!trouble.isEmpty()) {
        if (!showingTrouble_) {
            ownText_ = window_.statusNotice();
            showingTrouble_ = true;
        }
        window_.setStatusNotice(trouble);
    } else if (showingTrouble_) {
        window_.setStatusNotice(ownText_);
        showingTrouble_ = false;
    }
}

}  // namespace kervo
