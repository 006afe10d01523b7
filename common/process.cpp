#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The exit status of a shell that could not run a command.
constexpr int kNotExecuted = 127;

[[noreturn]] void failInChild(int report)
{
  int error = errno;
  ssize_t ignored = write(report, &error, sizeof error);
  (void)ignored;
  _exit(kNotExecuted);
}

[[noreturn]] void execInChild(const SpawnRequest &request, int report)
{
  // Dispositions before the mask: a signal unblocked while one of the
  // parent's handlers were still in place would run that handler here. As
  // system() leaves them, a signal the caller ignores stays ignored (SIGHUP
  // under nohup): only caught ones go back to their default. The C library
  // refuses SIGKILL, SIGSTOP and its own: harmless.
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction now;
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
      signal(sig, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  // A source among 0-2 may be the target of an earlier dup2, and dup2(fd, fd)
  // would leave a close-on-exec flag on it: each one goes above 2 first.
  int source[3];
  for (int target = 0; target < 3; ++target) {
    source[target] = request.stdio[target];
    if (source[target] >= 0 && source[target] <= 2 &&
        (source[target] = fcntl(source[target], F_DUPFD_CLOEXEC, 3)) < 0)
      failInChild(report);
  }
  for (int target = 0; target < 3; ++target) {
    if (source[target] >= 0 && dup2(source[target], target) < 0)
      failInChild(report);
  }
  char *const *argv = const_cast<char *const *>(request.argv);
  if (request.path != nullptr)
    execv(request.path, argv);
  else
    execvp(argv[0], argv);
  failInChild(report);
}

} // namespace

void process_start()
{
  signal(SIGCHLD, SIG_DFL);
  // open() takes the lowest free descriptor: a closed one of 0-2 first.
  int fd;
  while ((fd = open("/dev/null", O_RDWR)) >= 0 && fd <= 2) {
  }
  if (fd > 2)
    close(fd);
}

SpawnResult spawn_and_wait(const SpawnRequest &request)
{
  fflush(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return {Ran::NotStarted, -1};
  pid_t pid = fork();
  if (pid == 0)
    execInChild(request, report[1]);
  int forkError = errno;
  close(report[1]);
  // End of file: the exec succeeded and closed the child's end.
  int execError = 0;
  ssize_t got = 0;
  while (pid > 0 && (got = read(report[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (pid < 0) {
    errno = forkError;
    return {Ran::NotStarted, -1};
  }

  int status = 0;
  pid_t waited;
  while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (got == sizeof execError) {
    errno = execError;
    return {Ran::NotStarted, kNotExecuted << 8};
  }
  if (waited < 0)
    return {Ran::Unknown, -1};
  return {Ran::Ended, status};
}
