// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/FileHelpers.h"

#include <algorithm>
#include <cerrno>

#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

std::int32_t WipeFile(const std::string& i_strPath, CipherLibrary& library) {
  try {
    if (!FileExists(i_strPath)) return 0;
    if (platform::IsSymbolicLink(i_strPath)) {
      const int err = platform::DeleteEntry(i_strPath);
      return err == 0 ? 0 : err;
    }
    platform::SetAttributes(i_strPath, platform::FILE_ATTRIBUTE_NORMAL);
    clsBinaryFile file;
    if (const std::int32_t status = file.OpenFile(i_strPath, 1); status != 0) return status;
    std::uint32_t random = 0;
    char message[SL_MESSAGE_SIZE] = {};
    if (library.SLGenRandomInit(&random, message) == 0) return -1;
    const std::int64_t size = file.FileSize();
    std::int64_t position = 0;
    bool randomOk = true;
    ByteArray buffer(4096);
    while (position < size && randomOk) {
      if (size - position <= 4096) buffer.resize(static_cast<std::size_t>(size - position));
      randomOk = library.SLGenRandom(random, static_cast<std::uint32_t>(buffer.size()), buffer.data(), message) != 0;
      // Positions beyond 2 GiB cannot be addressed by the file class: such a
      // file is overwritten as far as it can be, and the failure returned.
      if (position > INT32_MAX) throw platform::RuntimeError(platform::rt::kOverflow);
      if (const std::int32_t status = file.WriteData(buffer, static_cast<std::int32_t>(position)); status != 0) {
        library.SLGenRandomDone(&random, message);
        return status;
      }
      position += static_cast<std::int64_t>(buffer.size());
    }
    library.SLGenRandomDone(&random, message);
    if (!randomOk) return -2;
    // The overwrite reaches the device before the name goes.
    if (const std::int32_t status = file.Flush(); status != 0) return status;
    file.CloseFile();
    const int err = platform::DeleteEntry(i_strPath);
    return err == 0 ? 0 : err;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

bool ReplaceExistingFile(UiPort& ui, const std::string& i_strPath, CipherLibrary& library) {
  if (!FileExists(i_strPath)) return true;
  if (ConfirmReplace(ui, i_strPath) != MsgResult::Yes) return false;
  if (WipeFile(i_strPath, library) != 0 && FileExists(i_strPath)) {
    ShowError(ui, "Failed to delete file.  Ensure it is not locked by another application.", 0);
    return false;
  }
  return true;
}

std::int32_t GetFileTimes(const std::string& i_strPath, std::int64_t& o_nCreateTime, std::int64_t& o_nModifyTime) {
  try {
    const platform::FileTimes times = platform::GetTimes(i_strPath);
    o_nCreateTime = times.creation;
    o_nModifyTime = times.lastWrite;
    return 0;
  } catch (const platform::RuntimeError& e) {
    return e.Number();
  }
}

std::int32_t SetFileTimes(const std::string& i_strPath, std::int64_t i_nCreateTime, std::int64_t i_nModifyTime) {
  try {
    platform::FileTimes times;
    times.creation = i_nCreateTime;
    times.lastAccess = i_nModifyTime;
    times.lastWrite = i_nModifyTime;
    platform::SetTimes(i_strPath, times);
    return 0;
  } catch (const platform::RuntimeError& e) {
    return e.Number();
  }
}

std::optional<std::string> SafeStoredFileName(const std::string& i_strStoredName) {
  const std::size_t slash = i_strStoredName.find_last_of("/\\");
  std::string name = slash == std::string::npos ? i_strStoredName : i_strStoredName.substr(slash + 1);
  name.erase(std::remove_if(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }),
             name.end());
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return name;
}

}  // namespace sealvane
