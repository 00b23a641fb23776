// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunIo.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

namespace {

std::int32_t Position32(std::int64_t position) {
  if (position > std::numeric_limits<std::int32_t>::max()) throw platform::RuntimeError(platform::rt::kOverflow);
  return static_cast<std::int32_t>(position);
}

}  // namespace

void RunReader::Read(std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    if (m_at == m_run.size()) {
      const std::int64_t left = m_total - m_next;
      if (left <= 0) throw platform::RuntimeError(platform::rt::kInputPastEnd);
      m_run.resize(static_cast<std::size_t>(std::min(kRunSize, left)));
      RaiseFileStatus(m_file.ReadData(m_run, Position32(m_next)));
      m_next += static_cast<std::int64_t>(m_run.size());
      m_at = 0;
    }
    const std::size_t n = std::min(out.size() - done, m_run.size() - m_at);
    std::memcpy(out.data() + done, m_run.data() + m_at, n);
    m_at += n;
    done += n;
  }
}

void RunWriter::Write(std::span<const std::uint8_t> data) {
  m_run.insert(m_run.end(), data.begin(), data.end());
  if (static_cast<std::int64_t>(m_run.size()) >= kRunSize) Flush();
}

void RunWriter::Flush() {
  if (m_run.empty()) return;
  if (m_sink) {
    m_sink->Put(m_written, m_run);
  } else {
    RaiseFileStatus(m_file->WriteData(m_run, Position32(m_written)));
  }
  m_written += static_cast<std::int64_t>(m_run.size());
  m_run.clear();
}

}  // namespace sealvane
