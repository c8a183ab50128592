#pragma once

#include <QByteArray>
#include <map>
#include <vector>

#include "app/Result.h"
#include "mail/pop/PopSession.h"

namespace kervo {

class UidlRecord;

// The listing and the ids of the mails the server holds now.
struct ServerMails {
    std::vector<MailListing> listing;
    std::map<int, QByteArray> uids;  // only ids that identify one mail
};

// Lists the mails and their ids. An id the server gives two mails identifies neither, and ids
// on record that the server no longer lists are forgotten: their mails are gone.
Result<ServerMails> readServerMails(PopSession& session, UidlRecord& record);

}  // namespace kervo
