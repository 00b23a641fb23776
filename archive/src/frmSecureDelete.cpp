// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmSecureDelete.h"

#include <limits>

#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;

MsgResult ConfirmSecureDelete(UiPort& ui, const std::string& i_strPath) {
  return ui.ShowMessageBox(MessageBoxRequest {"Are you sure you want to delete the file " + i_strPath + "?" + kCR +
                                                  "It will not be possible to recover it after it is deleted.",
                                              "Secure Delete?", MsgIcon::Question, MsgButtons::YesNo, 2});
}

bool frmSecureDelete::Initialize(const std::string& i_strPath) {
  try {
    m_strPath = i_strPath;
    if (m_strPath.empty()) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
    if (!FileExists(m_strPath)) {
      ShowWarning(m_ui, "The file does not exist.  Please specify an existing file.", 0);
      return false;
    }
    // Positions in a file are 32-bit: a larger file cannot be overwritten
    // whole, and is refused rather than deleted half-overwritten.
    if (!platform::IsSymbolicLink(m_strPath) &&
        platform::FileLength(m_strPath) > std::numeric_limits<std::int32_t>::max()) {
      ShowWarning(m_ui, "The file is too large.  Please specify a file smaller than 2 GB.", 0);
      return false;
    }
    if (ConfirmSecureDelete(m_ui, m_strPath) != MsgResult::Yes) return false;
    SetOperation("");
    SetFile(GetFileNameOfPath(m_strPath));
    SetProgress(0, 1);
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize Secure Delete form.");
    return false;
  }
}

void frmSecureDelete::DoRun() {
  try {
    SetOperation("Deleting:");
    DoEvents();
    m_nResult = SecureDeleteFile();
    if (m_nResult != 0) ShowError(m_ui, "Failed to delete file.  Ensure it is not locked by another application.", 0);
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to Secure Delete file.", error);
    m_nResult = error.Number();
  }
  SetOperation("Done");
  SetFile("");
  DoEvents();
  m_ui.Wait(1000);
}

std::int32_t frmSecureDelete::SecureDeleteFile() {
  // A symbolic link is never followed into the file it names: the link goes,
  // the file stays, and the user is told.
  if (platform::IsSymbolicLink(m_strPath)) {
    if (const int err = platform::DeleteEntry(m_strPath); err != 0) return err;
    ShowWarning(m_ui,
                m_strPath + " is a symbolic link." + kCR +
                    "The link was deleted; the file it points to was not changed.",
                0);
    return 0;
  }
  clsBinaryFile file;
  std::uint32_t random = 0;
  char message[SL_MESSAGE_SIZE] = {};
  std::int32_t result = 0;
  try {
    platform::SetAttributes(m_strPath, platform::FILE_ATTRIBUTE_NORMAL);
    if ((result = file.OpenFile(m_strPath, 1)) != 0) {
      ShowError(m_ui, "Failed to open file.", 0);
    } else if (m_library.SLGenRandomInit(&random, message) == 0) {
      ShowError(m_ui, CutAtNull(std::string(message, sizeof(message))), 0);
      result = -1;
    } else {
      const std::int64_t size = file.FileSize();
      std::int64_t position = 0;
      ByteArray buffer(4096);
      while (position < size && !Cancelled()) {
        if (size - position <= 4096) buffer.resize(static_cast<std::size_t>(size - position));
        if (m_library.SLGenRandom(random, static_cast<std::uint32_t>(buffer.size()), buffer.data(), message) == 0) {
          ShowError(m_ui, CutAtNull(std::string(message, sizeof(message))), 0);
          result = -2;
          break;
        }
        RaiseFileStatus(file.WriteData(buffer, static_cast<std::int32_t>(position)));
        position += static_cast<std::int64_t>(buffer.size());
        SetProgress(position, size);
        DoEvents();
      }
      if (result == 0) {
        m_library.SLGenRandomDone(&random, message);
        // The overwrite reaches the device before the name goes.
        RaiseFileStatus(file.Flush());
        file.CloseFile();
        if (Cancelled()) return kCancelled;
        const int err = platform::DeleteEntry(m_strPath);
        return err == 0 ? 0 : err;
      }
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to Secure Delete file.", error);
    result = error.Number();
  }
  try {
    m_library.SLGenRandomDone(&random, message);
  } catch (...) {
  }
  file.CloseFile();
  return result;
}

}  // namespace sealvane
