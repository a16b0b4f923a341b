/* The floor of the start-up benchmark: the least a program that looks at a WAVE file must do.
 * It opens the file named by its argument and reads its first 64 bytes, nothing else. Linked
 * statically, its time is process creation, the C runtime's start-up and two system calls. */
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  char buffer[64];
  if (argc < 2) {
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY);
  if (fd < 0) {
    return 1;
  }
  return read(fd, buffer, sizeof buffer) < 0;
}
