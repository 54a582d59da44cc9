#include "platform/posix/syscalls.h"

#include <fcntl.h>
#include <unistd.h>

namespace quadrel::platform::posix {
namespace {

int openFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int lockControl(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }
int numberControl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

}  // namespace

Syscalls& syscalls() {
  static Syscalls table{openFile, ::read,  ::write,     ::pwrite,      ::ftruncate, ::lseek,
                        ::fstat,  ::close, lockControl, numberControl, ::getcwd};
  return table;
}

}  // namespace quadrel::platform::posix
