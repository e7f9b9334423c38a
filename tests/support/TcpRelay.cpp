#include "support/TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace invarro::testing {

namespace {

bool sendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

}  // namespace

TcpRelay::TcpRelay(int targetPort) : target_(targetPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(listener_, 16) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

TcpRelay::~TcpRelay() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    acceptor_.join();
    for (auto& t : pumps_)
        t.join();
}

void TcpRelay::arm(const std::string& text, Cut cut) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = text;
    how_ = cut;
    armed_ = true;
    cut_ = false;
}

void TcpRelay::acceptLoop() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        pumps_.emplace_back([this, client] { pump(client); });
    }
}

void TcpRelay::pump(int client) {
    int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(target_));
    if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(server);
        ::close(client);
        return;
    }
    char buf[65536];
    bool open = true;
    while (open && !stop_) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, 100) <= 0) continue;
        if (p[0].revents) {
            ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0) break;
            bool cutHere = false;
            Cut how = Cut::AfterForwarding;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (armed_ && std::string_view(buf, size_t(n)).find(text_) != std::string::npos) {
                    armed_ = false;
                    cutHere = true;
                    how = how_;
                }
            }
            if (cutHere && how == Cut::BeforeForwarding) {
                cut_ = true;
                break;
            }
            if (!sendAll(server, buf, size_t(n))) break;
            if (cutHere) {
                // The server has the text; give it a moment to act on it, and relay none of
                // its answer.
                ::usleep(300 * 1000);
                cut_ = true;
                break;
            }
        }
        if (p[1].revents) {
            ssize_t n = ::recv(server, buf, sizeof buf, 0);
            if (n <= 0 || !sendAll(client, buf, size_t(n))) open = false;
        }
    }
    ::close(server);
    ::close(client);
}

}  // namespace invarro::testing
