#pragma once

#include <QString>

#include "mail/MailPush.h"

namespace kervo {

class WindowModel;

// The notice line at the lower right of the window: its own text while the mail polling is
// well, otherwise the most pressing trouble, in this order: polls fail, a poll runs past the
// next one's time, the word of new mail between polls is being reconnected, mails wait on the
// server that cannot be fetched, and last a remark another part of the monitor has to make (the
// journal's trouble, alarms left open by an earlier run).
class StatusNotice {
  public:
    explicit StatusNotice(WindowModel& window) : window_(window) {}

    void setPollFailed(bool failed);
    void setPollOverdue(bool overdue);
    void setPushState(const PushState& state);
    void setWithheldMails(int count);
    // Empty: no remark.
    void setRemark(const QString& text);

  private:
    void show();

    WindowModel& window_;
    bool failed_ = false;
    bool overdue_ = false;
    int pushRetryInSeconds_ = -1;  // -1: the push is not being reconnected
    int withheld_ = 0;
    QString remark_;
    bool showingTrouble_ = false;
    QString ownText_;  // what the line said before the trouble began
};

}  // namespace kervo
