// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmSecureDelete.h"


#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::FileKind;
using platform::RuntimeError;

MsgResult ConfirmSecureDelete(UiPort& ui, const std::string& i_strPath, const DeletionReport* report) {
  return ui.ShowMessageBox(MessageBoxRequest {
      "Are you sure you want to delete the file " + i_strPath + "?" + kCR +
          (report ? DeletionOutlook(*report) : std::string("It will not be possible to recover it after it is deleted.")),
      "Secure Delete?", MsgIcon::Question, MsgButtons::YesNo, 2, {}});
}

namespace {

// Overwriting a file with other names destroys what those names show.
MsgResult ConfirmSharedData(UiPort& ui, const std::string& path, std::uint64_t otherNames) {
  const std::string names = otherNames == 1 ? "1 other name" : std::to_string(otherNames) + " other names";
  return ui.ShowMessageBox(MessageBoxRequest {
      path + " has " + names + " (hard links) that show the same data." + kCR +
          "Overwriting it destroys the data under " + (otherNames == 1 ? "that name" : "those names") + " too." + kCR +
          "Do you want to overwrite it?",
      "Secure Delete?", MsgIcon::Question, MsgButtons::YesNo, 2, kTopicSharedData});
}

}  // namespace

bool frmSecureDelete::Initialize(const std::string& i_strPath) { return Prepare(i_strPath, nullptr); }

bool frmSecureDelete::InitializeOriginal(const std::string& i_strPath, const platform::FileStatus& i_oEncrypted) {
  return Prepare(i_strPath, &i_oEncrypted);
}

bool frmSecureDelete::Prepare(const std::string& i_strPath, const platform::FileStatus* i_pEncrypted) {
  try {
    m_strPath = i_strPath;
    m_oEntry.reset();
    m_oReport.reset();
    if (m_strPath.empty()) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
    // Resolved once: what is checked and confirmed here is what the job
    // overwrites and removes, whatever is done to the name meanwhile.
    m_oEntry = platform::FileEntry::Resolve(m_strPath);
    if (!m_oEntry) {
      ShowWarning(m_ui, "The file does not exist.  Please specify an existing file.", 0);
      return false;
    }
    const platform::FileStatus& entry = m_oEntry->Status();
    if (entry.kind == FileKind::Folder ||
        (entry.kind == FileKind::Link && m_oEntry->TargetStatus().kind == FileKind::Folder)) {
      ShowWarning(m_ui, m_strPath + " is a folder.  Please specify a file.", 0);
      m_oEntry.reset();
      return false;
    }
    // After encrypting, only the file that was encrypted is deleted, under
    // its own name: not a link to it, not another file put in its place.
    if (i_pEncrypted && (entry.kind != FileKind::Regular || !entry.SameFileAs(*i_pEncrypted))) {
      ShowWarning(m_ui,
                  m_strPath + (entry.kind == FileKind::Link ? " is a symbolic link" : " is not the file being encrypted") +
                      ", so it cannot be deleted securely after encrypting." + kCR +
                      "Encrypt the file itself, or turn off deleting the original.",
                  0);
      m_oEntry.reset();
      return false;
    }
    // A file that cannot be removed afterwards is not destroyed either.
    if (!m_oEntry->CanRemove()) {
      ShowWarning(m_ui,
                  "The file " + m_strPath + " cannot be deleted: its folder does not let you remove it." + kCR +
                      "The file was not changed.",
                  0);
      m_oEntry.reset();
      return false;
    }
    // Judged before anything is written: the question says what the
    // overwrite will achieve.
    if (entry.kind == FileKind::Regular) m_oReport = ReportDeletion(*m_oEntry);
    // The user's check box was the question for an original; data that
    // other names show is asked about in any case.
    if ((!i_pEncrypted && ConfirmSecureDelete(m_ui, m_strPath, m_oReport ? &*m_oReport : nullptr) != MsgResult::Yes) ||
        (entry.kind == FileKind::Regular && entry.links > 1 &&
         ConfirmSharedData(m_ui, m_strPath, entry.links - 1) != MsgResult::Yes)) {
      m_oEntry.reset();
      m_oReport.reset();
      return false;
    }
    if (!i_pEncrypted) {
      SetOperation("");
      SetFile(GetFileNameOfPath(m_strPath));
      SetProgress(0, 1);
    }
    return true;
  } catch (...) {
    m_oEntry.reset();
    m_oReport.reset();
    ShowRuntimeError(m_ui, "Failed to initialize Secure Delete form.");
    return false;
  }
}

void frmSecureDelete::DoRun() {
  try {
    SetOperation("Deleting:");
    if (IsStep()) SetFile(GetFileNameOfPath(m_strPath));
    DoEvents();
    m_nResult = SecureDeleteFile();
    if (m_nResult != kOk) {
      ShowError(m_ui, "Failed to delete file.  Ensure it is not locked by another application.", 0);
    } else if (m_oReport) {
      // What was done, and what it could not promise.
      m_ui.ShowMessageBox(MessageBoxRequest {m_strPreface + DeletionOutcome(*m_oReport), "Secure Delete",
                                             m_oReport->inPlace == InPlace::Yes ? MsgIcon::Information : MsgIcon::Exclamation,
                                             MsgButtons::OK, 1, {}});
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to Secure Delete file.", error);
    m_nResult = error.Number();
  }
  m_oEntry.reset();
  if (IsStep()) return;  // the outer job ends the window
  SetOperation(FinalCaption(m_nResult));
  SetFile("");
  DoEvents();
  m_ui.Wait(1000);
}

std::int32_t frmSecureDelete::SecureDeleteFile() {
  if (!m_oEntry) throw RuntimeError(platform::rt::kBadFileName);
  // A symbolic link is never followed into the file it names: the link goes,
  // the file stays, and the user is told.
  if (m_oEntry->Status().kind == FileKind::Link) {
    try {
      m_oEntry->Remove();
    } catch (const RuntimeError& e) {
      return e.Number();
    }
    ShowWarning(m_ui,
                m_strPath + " is a symbolic link." + kCR + "The link was deleted; the file it points to was not changed.",
                0);
    return kOk;
  }
  platform::File file;
  std::int32_t result = kOk;
  try {
    try {
      file = m_oEntry->OpenForOverwrite();
    } catch (const RuntimeError& e) {
      ShowError(m_ui, "Failed to open file.", 0);
      return e.Number();
    }
    RandomSource random(m_library);
    if (!random.Ok()) {
      ShowError(m_ui, random.Message(), 0);
      return kRandomUnavailable;
    }
    const std::int64_t size = file.Size();
    std::int64_t position = 0;
    ByteArray buffer(static_cast<std::size_t>(kPieceSize));
    while (position < size && !Cancelled()) {
      if (size - position <= kPieceSize) buffer.resize(static_cast<std::size_t>(size - position));
      if (!random.Fill(buffer)) {
        ShowError(m_ui, random.Message(), 0);
        return kRandomFailed;
      }
      file.WriteAt(position, buffer);
      position += static_cast<std::int64_t>(buffer.size());
      SetProgress(position, size);
      DoEvents();
    }
    // The overwrite reaches the device before the name goes.
    file.SyncData();
    file.Close();
    if (Cancelled()) return kCancelled;
    try {
      m_oEntry->Remove();
    } catch (const RuntimeError& e) {
      return e.Number();  // reported as the deletion failure
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to Secure Delete file.", error);
    result = error.Number();
  }
  return result;
}

}  // namespace sealvane
