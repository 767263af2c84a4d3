#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <stdexcept>

namespace vxl::test {

ChildResult RunChild(const std::vector<std::string>& argv, const std::string& workingDir,
                     const std::string& input) {
  signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not kill the test
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
      close(fd);
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  ChildResult result;
  size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  } else {
    fcntl(in[1], F_SETFL, O_NONBLOCK);
  }
  std::string* sinks[2] = {&result.out, &result.err};
  int fds[2] = {out[0], err[0]};
  int open = 2;
  while (open > 0 || in[1] >= 0) {
    pollfd p[3];
    int n = 0;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] >= 0) p[n++] = {fds[i], POLLIN, 0};
    }
    if (in[1] >= 0) p[n++] = {in[1], POLLOUT, 0};
    if (poll(p, n, -1) < 0 && errno != EINTR) break;
    for (int k = 0; k < n; ++k) {
      if (!p[k].revents) continue;
      if (p[k].fd == in[1]) {
        ssize_t w = write(in[1], input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 || written == input.size()) {
          close(in[1]);
          in[1] = -1;
        }
        continue;
      }
      for (int i = 0; i < 2; ++i) {
        if (p[k].fd != fds[i]) continue;
        char buf[4096];
        ssize_t r = read(fds[i], buf, sizeof buf);
        if (r > 0) {
          sinks[i]->append(buf, static_cast<size_t>(r));
        } else {
          close(fds[i]);
          fds[i] = -1;
          --open;
        }
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string TestBinaryDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

}  // namespace vxl::test
