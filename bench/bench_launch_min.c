/* The anchor of bench_launch: the least a program can do to start a companion program detached
   (in its own session, adopted by init) and exit. argv[1] is the companion's path. */
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  pid_t child = fork();
  if (child == 0) {
    setsid();
    if (fork() == 0) {
      char* args[] = {argv[1], 0};
      execv(argv[1], args);
      _exit(127);
    }
    _exit(0);
  }
  int status;
  waitpid(child, &status, 0);
  return 0;
}
