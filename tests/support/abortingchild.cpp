#include "abortingchild.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

QByteArray stderrOfAbortingChild(const std::function<void()> &body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGABRT, SIG_DFL); // the test library's crash handler would print a stack trace
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        body();
        _exit(0);
    }
    close(fds[1]);
    QByteArray out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGABRT)
        return "child did not abort";
    return out;
}
