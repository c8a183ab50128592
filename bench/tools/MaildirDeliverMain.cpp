// The delivery agent of the fetchmail run: one mail on standard input into a maildir, the way a
// maildir delivery agent does it (write into tmp/, fsync, rename into new/, fsync new/), so that
// the mail is durable before fetchmail deletes it from the server. No Qt: it starts per mail.
//   kervo_bench_mda MAILDIR
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

bool syncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: kervo_bench_mda MAILDIR\n", stderr);
        return 64;
    }
    const std::string root = argv[1];
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char host[256] = "localhost";
    ::gethostname(host, sizeof host - 1);
    const std::string name = std::to_string(now.tv_sec) + ".M" +
                             std::to_string(now.tv_nsec / 1000) + "P" + std::to_string(::getpid()) +
                             "." + host;
    const std::string tmp = root + "/tmp/" + name;
    const std::string fresh = root + "/new/" + name;
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("kervo_bench_mda: open");
        return 75;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("kervo_bench_mda: read");
            ::unlink(tmp.c_str());
            return 75;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = ::write(fd, buffer + done, static_cast<size_t>(got - done));
            if (written < 0 && errno != EINTR) {
                std::perror("kervo_bench_mda: write");
                ::unlink(tmp.c_str());
                return 75;
            }
            done += written > 0 ? written : 0;
        }
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.c_str(), fresh.c_str()) != 0 ||
        !syncPath(root + "/new")) {
        std::perror("kervo_bench_mda: commit");
        ::unlink(tmp.c_str());
        return 75;
    }
    return 0;
}
