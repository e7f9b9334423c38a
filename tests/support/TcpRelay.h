// A TCP relay on 127.0.0.1 between a client and a server, for tests that cut a connection
// at a chosen moment: it forwards bytes both ways and, when armed, closes the connection
// that sends a chosen text (a COMMIT, say) either before forwarding it or after forwarding
// it and before relaying the answer.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace invarro::testing {

class TcpRelay {
  public:
    enum class Cut { BeforeForwarding, AfterForwarding };

    explicit TcpRelay(int targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int port() const { return port_; }
    // The next client-to-server chunk that contains text cuts its connection once.
    void arm(const std::string& text, Cut cut);
    // Whether the armed cut has happened.
    bool cut() const { return cut_; }

  private:
    void acceptLoop();
    void pump(int client);

    int target_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> cut_{false};
    std::mutex mutex_;
    std::string text_;
    Cut how_ = Cut::AfterForwarding;
    bool armed_ = false;
    std::thread acceptor_;
    std::vector<std::thread> pumps_;
};

}  // namespace invarro::testing
