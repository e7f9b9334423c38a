// The listener a browser sign-in redirects to: a socket on 127.0.0.1 with a port the system
// chooses, reachable from this computer only. It waits for the one request that carries the
// provider's answer (a "code" or an "error" in the query of "/"), answers anything else -
// a browser's favicon request, a probe - with 404 and goes on waiting, and is closed after
// the answer or when the time is up.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace invarro::platform::curl {

class LoopbackListener {
  public:
    LoopbackListener() = default;
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // Binds and listens. False and *error when no socket could be had.
    bool open(std::string* error);
    int port() const { return port_; }
    bool listening() const { return socket_ >= 0; }

    enum class Outcome { Answer, TimedOut, Cancelled, Failed };
    // Waits for the provider's answer; its query fields go to *query and its connection is
    // kept for reply(). cancelled is asked a few times a second.
    Outcome wait(std::map<std::string, std::string>& query, int timeoutSeconds,
                 const std::function<bool()>& cancelled);
    // The page the browser shows after the answer; then every socket is closed.
    void reply(int status, const std::string& title, const std::string& text);
    void close();

  private:
    struct Client {
        int fd = -1;
        std::string received;
    };
    // The request line's target once a whole request head arrived; empty until then.
    static std::string TargetOf(const std::string& head);
    static void Send(int fd, int status, const std::string& title, const std::string& text);

    int socket_ = -1;
    int port_ = 0;
    int answered_ = -1;  // the connection that brought the answer
    std::vector<Client> clients_;
};

}  // namespace invarro::platform::curl
