// Runs the real kovrel-sync binary for the command-line tests: arguments, extra
// environment, standard input from a string or a pseudo-terminal, and the exit
// status with everything it printed.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kovrel::test {

struct PROCRESULT {
    int nExit = -1;     // exit status, or -1 when it did not exit normally
    int nSignal = 0;    // the signal that ended it, if any
    std::string strOut; // standard output
    std::string strErr; // standard error (with a terminal: what the terminal showed)
};

struct PROCOPTIONS {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env; // set in the child
    std::string strStdin;                                 // fed to a pipe, then closed
    // With a terminal, standard input and error are a pseudo-terminal; onTerminal
    // is called with everything shown on it so far and the master side, and
    // returns true once it has done its part.
    std::function<bool(const std::string& strShown, int fdMaster, pid_t pid)> onTerminal;
    // Called every few milliseconds while the program runs, whether it prints
    // or not, with what it printed on standard output so far; returns true
    // once it has done its part.
    std::function<bool(const std::string& strOut, pid_t pid)> onTick;
};

inline PROCRESULT RunProcess(const std::string& strExe, const PROCOPTIONS& opt) {
    PROCRESULT r;
    int outPipe[2], errPipe[2], inPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0 || ::pipe(inPipe) != 0) {
        ADD_FAILURE() << "pipe failed";
        return r;
    }
    int fdMaster = -1, fdSlave = -1;
    if (opt.onTerminal && ::openpty(&fdMaster, &fdSlave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return r;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (opt.onTerminal) {
            ::setsid();
            ::dup2(fdSlave, 0);
            ::dup2(fdSlave, 2);
        } else {
            ::dup2(inPipe[0], 0);
            ::dup2(errPipe[1], 2);
        }
        ::dup2(outPipe[1], 1);
        for (int fd = 3; fd < 256; ++fd)
            ::close(fd);
        for (const auto& [k, v] : opt.env)
            ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(strExe.c_str()));
        for (const std::string& a : opt.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(strExe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(inPipe[0]);
    if (fdSlave >= 0)
        ::close(fdSlave);
    if (!opt.strStdin.empty()) {
        // Small inputs only: they fit in the pipe without blocking.
        const ssize_t nWritten = ::write(inPipe[1], opt.strStdin.data(), opt.strStdin.size());
        EXPECT_EQ(nWritten, static_cast<ssize_t>(opt.strStdin.size()));
    }
    ::close(inPipe[1]);

    // Read standard output and the error side (pipe or terminal) together, so a
    // chatty program never blocks on a full pipe.
    const int fdErr = opt.onTerminal ? fdMaster : errPipe[0];
    bool bDone = false;
    bool bOutOpen = true, bErrOpen = true;
    bool bTicked = false;
    auto tHeard = std::chrono::steady_clock::now();
    while (bOutOpen || bErrOpen) {
        if (opt.onTick && !bTicked)
            bTicked = opt.onTick(r.strOut, pid);
        pollfd pfd[2] = {{bOutOpen ? outPipe[0] : -1, POLLIN, 0},
                         {bErrOpen ? fdErr : -1, POLLIN, 0}};
        const int nReady = ::poll(pfd, 2, opt.onTick && !bTicked ? 2 : 20000);
        if (nReady < 0 && errno == EINTR)
            continue;
        if (nReady == 0 && opt.onTick &&
            std::chrono::steady_clock::now() - tHeard < std::chrono::seconds(20))
            continue;
        if (nReady <= 0) {
            ADD_FAILURE() << "the program went quiet; it showed: " << r.strErr;
            ::kill(pid, SIGKILL);
            break;
        }
        tHeard = std::chrono::steady_clock::now();
        char buf[4096];
        if (pfd[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(outPipe[0], buf, sizeof buf);
            if (n > 0)
                r.strOut.append(buf, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                bOutOpen = false;
        }
        if (pfd[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fdErr, buf, sizeof buf);
            if (n > 0)
                r.strErr.append(buf, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                bErrOpen = false; // a terminal whose other side is gone reads EIO
        }
        if (opt.onTerminal && !bDone)
            bDone = opt.onTerminal(r.strErr, fdMaster, pid);
        if (opt.onTerminal && !bOutOpen)
            break; // standard output closed: the program is ending
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    if (fdMaster >= 0)
        ::close(fdMaster);
    if (WIFEXITED(nStatus))
        r.nExit = WEXITSTATUS(nStatus);
    if (WIFSIGNALED(nStatus))
        r.nSignal = WTERMSIG(nStatus);
    return r;
}

} // namespace kovrel::test
