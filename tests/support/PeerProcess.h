// A helper program of the tests (a Python server) run as a child: it says "PORT <n>" on
// its standard output once it listens, takes command lines on its standard input and
// answers each with one line. Ended when the object goes.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace invarro::testing {

class PeerProcess {
  public:
    explicit PeerProcess(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        // Waits for "PORT n" (Python starts in well under the limit).
        const std::string line = readLine(20000);
        if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    }
    ~PeerProcess() {
        if (stdin_ >= 0) close(stdin_);
        if (stdout_ >= 0) close(stdout_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    int port() const { return port_; }
    // Sends one command line; its answer line ("" when none came in time).
    std::string command(const std::string& line) {
        const std::string text = line + "\n";
        if (write(stdin_, text.data(), text.size()) != ssize_t(text.size())) return {};
        return readLine(10000);
    }

  private:
    std::string readLine(int milliseconds) {
        std::string line;
        pollfd p{stdout_, POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, milliseconds) > 0 && read(stdout_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int port_ = 0;
};

}  // namespace invarro::testing
