#include "platform/curl/LoopbackListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/OAuthText.h"
#include "platform/XmlText.h"

namespace invarro::platform::curl {

namespace {

constexpr size_t kLargestRequest = 16 * 1024;
constexpr size_t kMostClients = 16;

}  // namespace

LoopbackListener::~LoopbackListener() {
    close();
}

bool LoopbackListener::open(std::string* error) {
    close();
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0) {
        if (error) *error = std::string("no socket for the sign-in: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // the system's choice
    socklen_t length = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket_, 8) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (error) *error = std::string("no port for the sign-in: ") + std::strerror(errno);
        close();
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

std::string LoopbackListener::TargetOf(const std::string& head) {
    const size_t end = head.find("\r\n");
    if (end == std::string::npos) return {};
    const std::string line = head.substr(0, end);
    const size_t first = line.find(' ');
    const size_t second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) return "?";
    if (line.substr(0, first) != "GET") return "?";
    return line.substr(first + 1, second - first - 1);
}

void LoopbackListener::Send(int fd, int status, const std::string& title, const std::string& text) {
    const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                             platform::XmlText(title) + "</title></head><body><h1>" +
                             platform::XmlText(title) + "</h1><p>" + platform::XmlText(text) +
                             "</p></body></html>";
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Bad Request";
    const std::string response = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                                 "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                                 std::to_string(body.size()) +
                                 "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    // The socket is non-blocking: a short page goes in one write; what a stalled browser
    // does not take is dropped rather than waited for.
    size_t sent = 0;
    for (int tries = 0; sent < response.size() && tries < 50; ++tries) {
        const ssize_t n = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
        } else {
            break;
        }
    }
}

LoopbackListener::Outcome LoopbackListener::wait(std::map<std::string, std::string>& query,
                                                 int timeoutSeconds,
                                                 const std::function<bool()>& cancelled) {
    if (socket_ < 0) return Outcome::Failed;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeoutSeconds, 1));
    while (true) {
        if (cancelled && cancelled()) return Outcome::Cancelled;
        if (std::chrono::steady_clock::now() >= deadline) return Outcome::TimedOut;
        std::vector<pollfd> polled{{socket_, POLLIN, 0}};
        for (const Client& c : clients_)
            polled.push_back({c.fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), 200) < 0 && errno != EINTR) return Outcome::Failed;
        if (polled[0].revents & POLLIN) {
            const int fd = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                if (clients_.size() >= kMostClients) {
                    ::close(fd);
                } else {
                    clients_.push_back({fd, {}});
                }
            }
        }
        for (size_t i = 1; i < polled.size(); ++i) {
            if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Client& c = clients_[i - 1];
            char buffer[2048];
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n <= 0 || c.received.size() + size_t(n) > kLargestRequest) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            c.received.append(buffer, size_t(n));
            if (c.received.find("\r\n\r\n") == std::string::npos) continue;
            const std::string target = TargetOf(c.received);
            const size_t mark = target.find('?');
            const std::string path = target.substr(0, mark);
            std::optional<std::map<std::string, std::string>> fields;
            if (mark != std::string::npos) fields = ParseQuery(target.substr(mark + 1));
            const bool answer =
                path == "/" && fields && (fields->count("code") || fields->count("error"));
            if (!answer) {
                // Not the provider's answer: a favicon, a probe. It is turned away and the
                // listener keeps waiting for the real one.
                Send(c.fd, 404, "Not found", "This address only takes the sign-in's answer.");
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            query = *fields;
            answered_ = c.fd;
            c.fd = -1;
            return Outcome::Answer;
        }
        std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
    }
}

void LoopbackListener::reply(int status, const std::string& title, const std::string& text) {
    if (answered_ >= 0) {
        Send(answered_, status, title, text);
        ::shutdown(answered_, SHUT_WR);
        ::close(answered_);
        answered_ = -1;
    }
    close();
}

void LoopbackListener::close() {
    for (Client& c : clients_)
        if (c.fd >= 0) ::close(c.fd);
    clients_.clear();
    if (answered_ >= 0) ::close(answered_);
    answered_ = -1;
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

}  // namespace invarro::platform::curl
