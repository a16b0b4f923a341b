/* Runs a command the way a user's shell would with its output in a pipe (or, with --null, on
 * /dev/null), drains the pipe, and prints the command's peak resident set size in KiB.
 * Usage: maxrss [--null] program [arguments...]. Exit status: the command's. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  int first = 1;
  int to_null = 0;
  if (argc > 1 && strcmp(argv[1], "--null") == 0) {
    to_null = 1;
    first = 2;
  }
  if (first >= argc) {
    fprintf(stderr, "usage: maxrss [--null] program [arguments...]\n");
    return 2;
  }
  int fds[2];
  if (!to_null && pipe(fds) != 0) {
    perror("pipe");
    return 2;
  }
  const pid_t child = fork();
  if (child < 0) {
    perror("fork");
    return 2;
  }
  if (child == 0) {
    const int out = to_null ? open("/dev/null", O_WRONLY) : fds[1];
    dup2(out, 1);
    if (!to_null) {
      close(fds[0]);
      close(fds[1]);
    }
    execvp(argv[first], argv + first);
    perror(argv[first]);
    _exit(127);
  }
  if (!to_null) {
    char sink[65536];
    close(fds[1]);
    while (read(fds[0], sink, sizeof sink) > 0) {
    }
    close(fds[0]);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) < 0) {
    perror("wait4");
    return 2;
  }
  printf("%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
