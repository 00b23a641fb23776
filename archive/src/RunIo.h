// SPDX-License-Identifier: GPL-3.0-or-later
// Sequential transfers through a clsBinaryFile in runs of up to 64 KiB: the
// jobs still work, yield and test their cancel flag piece by piece, but the
// operating system sees one read or write per run instead of per piece.
// Memory stays at one run whatever the file size.
#pragma once

#include <cstdint>
#include <span>

#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/clsDigitalID.h"

namespace sealvane {

inline constexpr std::int64_t kRunSize = 64 * 1024;

class RunReader {
 public:
  // Reads `total` bytes of `file` from its start.
  RunReader(clsBinaryFile& file, std::int64_t total) : m_file(file), m_total(total) {}

  // The next bytes; throws RuntimeError 62 when fewer than asked for remain.
  void Read(std::span<std::uint8_t> out);

 private:
  clsBinaryFile& m_file;
  std::int64_t m_total;
  std::int64_t m_next = 0;  // where the next run starts
  ByteArray m_run;
  std::size_t m_at = 0;
};

// Where a job's output goes instead of a file (a comparison, say).
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // The bytes of the output from `offset` on, in order. Throws RuntimeError.
  virtual void Put(std::int64_t offset, std::span<const std::uint8_t> data) = 0;
};

class RunWriter {
 public:
  explicit RunWriter(clsBinaryFile& file) : m_file(&file) {}
  explicit RunWriter(ByteSink& sink) : m_sink(&sink) {}

  // Appends bytes; a full run is written at once. Throws RuntimeError.
  void Write(std::span<const std::uint8_t> data);
  // Writes what is gathered; call once the last bytes are in.
  void Flush();
  // Bytes written so far, gathered ones included.
  std::int64_t Position() const noexcept { return m_written + static_cast<std::int64_t>(m_run.size()); }

 private:
  clsBinaryFile* m_file = nullptr;
  ByteSink* m_sink = nullptr;
  std::int64_t m_written = 0;
  ByteArray m_run;
};

}  // namespace sealvane
