// Fork, exec and pipe collection for the end-to-end tests.
#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tov::e2e {

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const EnvironmentChanges& environment, const std::string& input) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        for (const auto& [name, value] : environment) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        if (!input.empty()) {
            const int in = open(input.c_str(), O_RDONLY);
            if (in < 0) _exit(126);
            dup2(in, STDIN_FILENO);
        }
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        execv(program.c_str(), argv.data());
        std::perror(program.c_str());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
}

Process::~Process() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

void Process::sendSignal(int signo) {
    if (pid_ > 0) kill(pid_, signo);
}

std::string Process::readOutUntil(const std::regex& pattern) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::regex_search(outSoFar_, pattern) && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{out_, POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0) continue;
        char chunk[4096];
        const ssize_t got = read(out_, chunk, sizeof chunk);
        if (got <= 0) break;
        outSoFar_.append(chunk, static_cast<size_t>(got));
    }
    return outSoFar_;
}

ProcessResult Process::finish() {
    ProcessResult result;
    result.out = outSoFar_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            break;
        }
        pollfd fds[2] = {{outOpen ? out_ : -1, POLLIN, 0}, {errOpen ? err_ : -1, POLLIN, 0}};
        if (poll(fds, 2, 200) <= 0) continue;
        char chunk[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(chunk, static_cast<size_t>(got));
            } else {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const EnvironmentChanges& environment, const std::string& input) {
    Process process(program, args, environment, input);
    return process.finish();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace tov::e2e
