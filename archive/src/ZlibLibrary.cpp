// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/ZlibLibrary.h"

#include <utility>

namespace sealvane {

ZlibLibrary::ZlibLibrary(std::string fileName) : m_library(std::move(fileName), true) {}

ZlibLibrary& ZlibLibrary::Default() {
  static ZlibLibrary library;
  return library;
}

ZlibLibrary::DeflateCalls ZlibLibrary::Deflater() {
  DeflateCalls calls {};
  // deflateInit is a macro over deflateInit2_, which checks that the
  // library's stream layout is the one compiled here.
  calls.init = Resolve(m_deflateInit, "deflateInit2_");
  calls.deflate = Resolve(m_deflate, "deflate");
  calls.reset = Resolve(m_deflateReset, "deflateReset");
  calls.end = Resolve(m_deflateEnd, "deflateEnd");
  return calls;
}

ZlibLibrary::InflateCalls ZlibLibrary::Inflater() {
  InflateCalls calls {};
  calls.init = Resolve(m_inflateInit, "inflateInit_");
  calls.inflate = Resolve(m_inflate, "inflate");
  calls.reset = Resolve(m_inflateReset, "inflateReset");
  calls.end = Resolve(m_inflateEnd, "inflateEnd");
  return calls;
}

// --- one stream per job ---------------------------------------------------------

PieceCompressor::~PieceCompressor() {
  if (!m_bOpen) return;
  m_calls.end(&m_stream);
}

int PieceCompressor::Compress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& outLength) {
  int rc = Z_OK;
  if (!m_bOpen) {
    if (m_calls.init == nullptr) m_calls = m_library.Deflater();
    m_stream = z_stream {};
    // The parameters of compress(): deflateInit's defaults.
    rc = m_calls.init(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                      static_cast<int>(sizeof(z_stream)));
    if (rc != Z_OK) return rc;
    m_bOpen = true;
  } else if ((rc = m_calls.reset(&m_stream)) != Z_OK) {
    return rc;
  }
  m_stream.next_in = const_cast<Bytef*>(in.data());
  m_stream.avail_in = static_cast<uInt>(in.size());
  m_stream.next_out = out.data();
  m_stream.avail_out = static_cast<uInt>(out.size());
  rc = m_calls.deflate(&m_stream, Z_FINISH);
  if (rc != Z_STREAM_END) return rc == Z_OK ? Z_BUF_ERROR : rc;
  outLength = out.size() - m_stream.avail_out;
  return Z_OK;
}

PieceExpander::~PieceExpander() {
  if (!m_bOpen) return;
  m_calls.end(&m_stream);
}

int PieceExpander::Expand(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& outLength) {
  int rc = Z_OK;
  if (!m_bOpen) {
    if (m_calls.init == nullptr) m_calls = m_library.Inflater();
    m_stream = z_stream {};
    rc = m_calls.init(&m_stream, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    if (rc != Z_OK) return rc;
    m_bOpen = true;
  } else if ((rc = m_calls.reset(&m_stream)) != Z_OK) {
    return rc;
  }
  m_stream.next_in = const_cast<Bytef*>(in.data());
  m_stream.avail_in = static_cast<uInt>(in.size());
  m_stream.next_out = out.data();
  m_stream.avail_out = static_cast<uInt>(out.size());
  do {
    rc = m_calls.inflate(&m_stream, Z_NO_FLUSH);
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
