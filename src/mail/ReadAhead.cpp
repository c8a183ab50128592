#include "mail/ReadAhead.h"

#include <iterator>
#include <utility>

namespace kervo {

qint64 ReadAhead::bytesOf(const Mail& mail) {
    const qint64 chars = mail.element.size() + (mail.read.ok() ? mail.read.value().subject.size() +
                                                                     mail.read.value().body.size()
                                                               : mail.read.error().message.size());
    return chars * qint64(sizeof(QChar));
}

namespace {

// Texts this large were given their own pages, which go back to the system without the
// allocator's lock: they are let go where they are, not held until the reading thread comes.
constexpr qint64 kLetGoInPlaceBytes = 128 * 1024;

}  // namespace

std::vector<ReadAhead::Mail> ReadAhead::collectSpent() {
    return std::exchange(spent_, {});
}

bool ReadAhead::put(Mail mail, bool& wasEmpty) {
    const qint64 bytes = bytesOf(mail);
    std::vector<Mail> spent;
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] {
            return stopped_ || count_ == 0 || (count_ < maxMails_ && bytes_ + bytes <= maxBytes_);
        });
        spent = collectSpent();
        if (stopped_) {
            return false;
        }
        wasEmpty = count_ == 0;
        slots_[static_cast<size_t>((first_ + count_) % maxMails_)] = std::move(mail);
        ++count_;
        bytes_ += bytes;
    }
    return true;  // the spent mails go here, outside the lock
}

void ReadAhead::close() {
    std::vector<Mail> spent;
    std::lock_guard lock(mutex_);
    spent = collectSpent();
    closed_ = true;
}

ReadAhead::Taken ReadAhead::take() {
    Taken taken;
    bool wakeReader = false;
    std::vector<Mail> spentAfterReading;
    {
        std::unique_lock lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) {
            taken.busy = true;
            return taken;
        }
        // Handed over by moving, so that nothing of the reading thread's is freed here.
        if (spent_.empty()) {
            spent_.swap(givenBack_);
        } else {
            std::move(givenBack_.begin(), givenBack_.end(), std::back_inserter(spent_));
            givenBack_.clear();
        }
        if (count_ == 0) {
            taken.drained = closed_;
            // The reading is over and its thread allocates nothing more: what it would have
            // let go is let go here, rather than kept until the next poll.
            if (closed_) {
                spentAfterReading = collectSpent();
            }
            return taken;
        }
        taken.mail = std::move(slots_[static_cast<size_t>(first_)]);
        first_ = (first_ + 1) % maxMails_;
        --count_;
        bytes_ -= bytesOf(*taken.mail);
        // The reader resumes once half the room is free again, and then reads a run of mails,
        // rather than waking for every mail taken.
        wakeReader = count_ == 0 || (count_ <= maxMails_ / 2 && bytes_ <= maxBytes_ / 2);
    }
    if (wakeReader) {
        room_.notify_all();
    }
    return taken;
}

void ReadAhead::giveBack(Mail mail) {
    if (bytesOf(mail) < kLetGoInPlaceBytes) {
        givenBack_.push_back(std::move(mail));
    }
}

void ReadAhead::reopen() {
    std::lock_guard lock(mutex_);
    for (; count_ > 0; --count_, first_ = (first_ + 1) % maxMails_) {
        slots_[static_cast<size_t>(first_)] = Mail{};
    }
    bytes_ = 0;
    closed_ = false;
}

void ReadAhead::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    room_.notify_all();
}

void SavedMailQueue::add(const QStringList& files) {
    {
        std::lock_guard lock(mutex_);
        for (const QString& file : files) {
            told_.insert(file);
            waiting_.push_back(file);
        }
    }
    changed_.notify_one();
}

void SavedMailQueue::finish(const QStringList& listed) {
    {
        std::lock_guard lock(mutex_);
        for (const QString& file : listed) {
            if (!told_.contains(file)) {
                waiting_.push_back(file);
            }
        }
        finished_ = true;
    }
    changed_.notify_one();
}

std::optional<QString> SavedMailQueue::next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return finished_ || !waiting_.empty(); });
    if (waiting_.empty()) {
        return std::nullopt;
    }
    QString file = std::move(waiting_.front());
    waiting_.pop_front();
    return file;
}

}  // namespace kervo
