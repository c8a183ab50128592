#pragma once

#include <QString>

namespace kervo {

class WindowModel;

// The notice line at the lower right of the window: its own text while the mail polling is
// well, otherwise the most pressing trouble, in this order: polls fail, a poll runs past the
// next one's time, mails wait on the server that cannot be fetched.
class StatusNotice {
  public:
    explicit StatusNotice(WindowModel& window) : window_(window) {}

    void setPollFailed(bool failed);
    void setPollOverdue(bool overdue);
    void setWithheldMails(int count);

  private:
    void show();

    WindowModel& window_;
    bool failed_ = false;
    bool overdue_ = false;
    int withheld_ = 0;
    bool showingTrouble_ = false;
    QString ownText_;  // what the line said before the trouble began
};

}  // namespace kervo
