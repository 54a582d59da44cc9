// Every system call of the POSIX layer that a test may want to fail goes
// through this table; the fault layer of the test program replaces entries.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace quadrel::platform::posix {

struct Syscalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*pread)(int fd, void* buffer, size_t size, off_t offset);
  ssize_t (*write)(int fd, const void* bytes, size_t size);
  ssize_t (*pwrite)(int fd, const void* bytes, size_t size, off_t offset);
  ssize_t (*copyFileRange)(int from, off_t* fromOffset, int to, off_t* toOffset, size_t size, unsigned flags);
  int (*ftruncate)(int fd, off_t length);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*fstat)(int fd, struct stat* status);
  int (*close)(int fd);
  // fcntl with a lock description (F_OFD_SETLK) and with a number (F_SETLEASE).
  int (*lockControl)(int fd, int command, struct flock* lock);
  int (*numberControl)(int fd, int command, int argument);
  char* (*getcwd)(char* buffer, size_t size);
};

// The table in force.
Syscalls& syscalls();

}  // namespace quadrel::platform::posix
