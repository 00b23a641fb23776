// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's binding to the compression library: libz.so.1 (or any
// zlib-compatible library installed under that name) is loaded at the first
// compression or decompression, and each function is looked up at its own
// first call. A missing library or function throws RuntimeError (48 or 453),
// a failure of the operation that needed it.
#pragma once

#include <zlib.h>

#include <span>
#include <string>

#include "sealvane/platform/DynamicLibrary.h"

namespace sealvane {

class ZlibLibrary {
 public:
  // A name without a slash is looked for where the system keeps libraries.
  explicit ZlibLibrary(std::string fileName = "libz.so.1");

  // The library of this process.
  static ZlibLibrary& Default();

  using DeflateInitFn = int (*)(z_stream*, int, int, int, int, int, const char*, int);
  using InflateInitFn = int (*)(z_stream*, const char*, int);
  using StreamFn = int (*)(z_stream*);
  using FlushFn = int (*)(z_stream*, int);

  // The functions one stream needs, looked up together (in this order) so
  // that a stream calls them without a lookup each time, from any thread.
  struct DeflateCalls {
    DeflateInitFn init;
    FlushFn deflate;
    StreamFn reset;
    StreamFn end;
  };
  struct InflateCalls {
    InflateInitFn init;
    FlushFn inflate;
    StreamFn reset;
    StreamFn end;
  };
  // Throw RuntimeError 48 or 453 when the library or a function is missing.
  DeflateCalls Deflater();
  InflateCalls Inflater();

 private:
  template <typename F>
  F Resolve(F& slot, const char* name) {
    return m_library.Resolve(slot, name);
  }

  platform::LazyLibrary m_library;
  DeflateInitFn m_deflateInit = nullptr;
  FlushFn m_deflate = nullptr;
  StreamFn m_deflateReset = nullptr;
  StreamFn m_deflateEnd = nullptr;
  InflateInitFn m_inflateInit = nullptr;
  FlushFn m_inflate = nullptr;
  StreamFn m_inflateReset = nullptr;
  StreamFn m_inflateEnd = nullptr;
};

// One deflate stream for a whole job (or one worker of it), reset between
// pieces: each piece comes out byte for byte as zlib's compress() makes it,
// without setting up and tearing down a stream per piece. One object is
// used by one thread at a time.
class PieceCompressor {
 public:
  explicit PieceCompressor(ZlibLibrary& library = ZlibLibrary::Default()) : m_library(library) {}
  ~PieceCompressor();
  PieceCompressor(const PieceCompressor&) = delete;
  PieceCompressor& operator=(const PieceCompressor&) = delete;

  // Compresses `in` into `out`; Z_OK with `outLength` set, Z_BUF_ERROR when
  // `out` is too small, or another zlib result. Throws RuntimeError when the
  // library or a function is missing.
  int Compress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& outLength);

 private:
  ZlibLibrary& m_library;
  ZlibLibrary::DeflateCalls m_calls {};
  z_stream m_stream {};
  bool m_bOpen = false;
};

// One inflate stream for a whole job, reset between blocks, with the results
// of zlib's uncompress().
class PieceExpander {
 public:
  explicit PieceExpander(ZlibLibrary& library = ZlibLibrary::Default()) : m_library(library) {}
  ~PieceExpander();
  PieceExpander(const PieceExpander&) = delete;
  PieceExpander& operator=(const PieceExpander&) = delete;

  // Expands the zlib stream `in` into `out`: Z_OK with `outLength` set;
  // Z_BUF_ERROR when it expands to more than `out` holds; Z_DATA_ERROR for
  // damaged or cut data; or another zlib result.
  int Expand(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& outLength);

 private:
  ZlibLibrary& m_library;
  ZlibLibrary::InflateCalls m_calls {};
  z_stream m_stream {};
  bool m_bOpen = false;
};

}  // namespace sealvane
