#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>

namespace kervo::test {

// A listener on a free port of 127.0.0.1 whose own thread takes one connection at a time and
// hands it to `serve`, for the scripted mail servers. Declared last in its owner, so that it
// stops before the state `serve` uses goes.
class LoopbackServer {
  public:
    // port() is 0 when no port could be had; nothing is served then.
    explicit LoopbackServer(std::function<void(int client)> serve) : serve_(std::move(serve)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        socklen_t length = sizeof address;
        if (::bind(listener_, raw, length) == 0 && ::listen(listener_, 4) == 0 &&
            ::getsockname(listener_, raw, &length) == 0) {
            port_ = ntohs(address.sin_port);
            thread_ = std::thread([this] {
                for (int client;
                     (client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                    serve_(client);
                    ::close(client);
                }
            });
        }
    }
    ~LoopbackServer() {
        ::shutdown(listener_, SHUT_RDWR);  // ends the accept; a client always hangs up itself
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(listener_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }

  private:
    std::function<void(int)> serve_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::thread thread_;
};

}  // namespace kervo::test
