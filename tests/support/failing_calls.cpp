// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into a program under test (LD_PRELOAD): the system calls named
// in SEALVANE_FAIL_CALLS (comma-separated) fail with EIO, as a failing disk
// would make them. Every other call goes to the C library.
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

bool Fails(const char* name) {
  const char* list = std::getenv("SEALVANE_FAIL_CALLS");
  if (list == nullptr) return false;
  const std::size_t length = std::strlen(name);
  for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name)) {
    const bool starts = at == list || at[-1] == ',';
    const bool ends = at[length] == '\0' || at[length] == ',';
    if (starts && ends) return true;
  }
  return false;
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int fchmod(int fd, mode_t mode) {
  if (Fails("fchmod")) {
    errno = EIO;
    return -1;
  }
  static const auto real = Real<int (*)(int, mode_t)>("fchmod");
  return real(fd, mode);
}

__attribute__((visibility("default"))) int renameat(int olddirfd, const char* oldpath, int newdirfd,
                                                    const char* newpath) {
  if (Fails("renameat")) {
    errno = EIO;
    return -1;
  }
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  return real(olddirfd, oldpath, newdirfd, newpath);
}

__attribute__((visibility("default"))) int fsync(int fd) {
  if (Fails("fsync")) {
    errno = EIO;
    return -1;
  }
  static const auto real = Real<int (*)(int)>("fsync");
  return real(fd);
}

__attribute__((visibility("default"))) int fdatasync(int fd) {
  if (Fails("fdatasync")) {
    errno = EIO;
    return -1;
  }
  static const auto real = Real<int (*)(int)>("fdatasync");
  return real(fd);
}

}  // extern "C"
