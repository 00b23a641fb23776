// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/ZlibLibrary.h"

#include <utility>

namespace sealvane {

ZlibLibrary::ZlibLibrary(std::string fileName) : m_library(std::move(fileName), true) {}

ZlibLibrary& ZlibLibrary::Default() {
  static ZlibLibrary library;
  return library;
}

// deflateInit and inflateInit are macros over these exports, which check that
// the library's stream layout is the one compiled here.
int ZlibLibrary::DeflateInit(z_stream* stream, int level) {
  // The parameters of compress(): deflateInit's defaults.
  return Resolve(m_deflateInit, "deflateInit2_")(stream, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY,
                                                 ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
}

int ZlibLibrary::Deflate(z_stream* stream, int flush) { return Resolve(m_deflate, "deflate")(stream, flush); }
int ZlibLibrary::DeflateReset(z_stream* stream) { return Resolve(m_deflateReset, "deflateReset")(stream); }
int ZlibLibrary::DeflateEnd(z_stream* stream) { return Resolve(m_deflateEnd, "deflateEnd")(stream); }

int ZlibLibrary::InflateInit(z_stream* stream) {
  return Resolve(m_inflateInit, "inflateInit_")(stream, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
}

int ZlibLibrary::Inflate(z_stream* stream, int flush) { return Resolve(m_inflate, "inflate")(stream, flush); }
int ZlibLibrary::InflateReset(z_stream* stream) { return Resolve(m_inflateReset, "inflateReset")(stream); }
int ZlibLibrary::InflateEnd(z_stream* stream) { return Resolve(m_inflateEnd, "inflateEnd")(stream); }

// --- one stream per job ---------------------------------------------------------

PieceCompressor::~PieceCompressor() {
  if (!m_bOpen) return;
  try {
    m_library.DeflateEnd(&m_stream);
  } catch (...) {
  }
}

int PieceCompressor::Compress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& outLength) {
  int rc = Z_OK;
  if (!m_bOpen) {
    m_stream = z_stream {};
    rc = m_library.DeflateInit(&m_stream, Z_DEFAULT_COMPRESSION);
    if (rc != Z_OK) return rc;
    m_bOpen = true;
  } else if ((rc = m_library.DeflateReset(&m_stream)) != Z_OK) {
    return rc;
  }
  m_stream.next_in = const_cast<Bytef*>(in.data());
  m_stream.avail_in = static_cast<uInt>(in.size());
  m_stream.next_out = out.data();
  m_stream.avail_out = static_cast<uInt>(out.size());
  rc = m_library.Deflate(&m_stream, Z_FINISH);
  if (rc != Z_STREAM_END) return rc == Z_OK ? Z_BUF_ERROR : rc;
  outLength = out.size() - m_stream.avail_out;
  return Z_OK;
}

PieceExpander::~PieceExpander() {
  if (!m_bOpen) return;
  try {
    m_library.InflateEnd(&m_stream);
  } catch (...) {
  }
}

int PieceExpander::Expand(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& outLength) {
  int rc = Z_OK;
  if (!m_bOpen) {
    m_stream = z_stream {};
    rc = m_library.InflateInit(&m_stream);
    if (rc != Z_OK) return rc;
    m_bOpen = true;
  } else if ((rc = m_library.InflateReset(&m_stream)) != Z_OK) {
    return rc;
  }
  m_stream.next_in = const_cast<Bytef*>(in.data());
  m_stream.avail_in = static_cast<uInt>(in.size());
  m_stream.next_out = out.data();
  m_stream.avail_out = static_cast<uInt>(out.size());
  do {
    rc = m_library.Inflate(&m_stream, Z_NO_FLUSH);
  } while (rc == Z_OK);
  // As uncompress() reports it: cut or damaged data is a data error; more
  // output than there is room for is a buffer error.
  if (rc == Z_STREAM_END) {
    outLength = out.size() - m_stream.avail_out;
    return Z_OK;
  }
  if (rc == Z_NEED_DICT || (rc == Z_BUF_ERROR && m_stream.avail_out != 0)) return Z_DATA_ERROR;
  return rc;
}

}  // namespace sealvane
