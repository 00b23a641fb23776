// SPDX-License-Identifier: GPL-3.0-or-later
// A compression library that is the system's zlib until told otherwise:
// deflate() fails with Z_STREAM_ERROR from its Nth call on (N from
// SEALVANE_TEST_DEFLATE_FAILS_AT; never when unset), from whichever thread
// makes it. Every other function is zlib's own.
#include <dlfcn.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>

namespace {

void* Zlib() {
  static void* handle = ::dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(::dlsym(Zlib(), name));
}

std::atomic<long> g_calls {0};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int deflateInit2_(z_streamp strm, int level, int method, int windowBits,
                                                         int memLevel, int strategy, const char* version,
                                                         int streamSize) {
  using F = int (*)(z_streamp, int, int, int, int, int, const char*, int);
  static const F real = Real<F>("deflateInit2_");
  return real(strm, level, method, windowBits, memLevel, strategy, version, streamSize);
}

__attribute__((visibility("default"))) int deflate(z_streamp strm, int flush) {
  using F = int (*)(z_streamp, int);
  static const F real = Real<F>("deflate");
  static const long failAt = [] {
    const char* at = std::getenv("SEALVANE_TEST_DEFLATE_FAILS_AT");
    return at != nullptr ? std::atol(at) : 0L;
  }();
  if (failAt > 0 && ++g_calls >= failAt) return Z_STREAM_ERROR;
  return real(strm, flush);
}

__attribute__((visibility("default"))) int deflateReset(z_streamp strm) {
  using F = int (*)(z_streamp);
  static const F real = Real<F>("deflateReset");
  return real(strm);
}

__attribute__((visibility("default"))) int deflateEnd(z_streamp strm) {
  using F = int (*)(z_streamp);
  static const F real = Real<F>("deflateEnd");
  return real(strm);
}

}  // extern "C"
