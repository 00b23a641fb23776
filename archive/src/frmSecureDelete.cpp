// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmSecureDelete.h"

#include <algorithm>
#include <map>
#include <utility>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/Environment.h"
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

std::string Files(std::uint64_t n) { return n == 1 ? "1 file" : std::to_string(n) + " files"; }

MsgResult ConfirmSharedFiles(UiPort& ui, const std::string& folder, std::uint64_t files) {
  return ui.ShowMessageBox(MessageBoxRequest {
      Files(files) + " in " + folder +
          (files == 1 ? " has" : " have") + " other names (hard links) outside it that show the same data." + kCR +
          "Overwriting " + (files == 1 ? "it" : "them") + " destroys the data under those names too." + kCR +
          "Do you want to overwrite " + (files == 1 ? "it" : "them") + "?",
      "Secure Delete?", MsgIcon::Question, MsgButtons::YesNo, 2, kTopicSharedData});
}

MsgResult ConfirmFolderDelete(UiPort& ui, const std::string& folder, std::uint64_t files, std::int64_t bytes,
                              const std::optional<DeletionReport>& report) {
  return ui.ShowMessageBox(MessageBoxRequest {
      "Are you sure you want to delete the folder " + folder + " and everything in it (" + Files(files) + ", " +
          FormatByteCount(bytes, platform::LocaleDecimalSeparator()) + ")?" + kCR +
          (report ? DeletionOutlook(*report) : std::string("It will not be possible to recover it after it is deleted.")),
      "Secure Delete?", MsgIcon::Question, MsgButtons::YesNo, 2, {}});
}

int Severity(InPlace verdict) noexcept { return verdict == InPlace::No ? 2 : verdict == InPlace::Unknown ? 1 : 0; }

// A folder's report: the worst verdict of its files, each reason once.
void Merge(std::optional<DeletionReport>& into, DeletionReport one) {
  if (!into) {
    into = std::move(one);
    return;
  }
  if (Severity(one.inPlace) > Severity(into->inPlace)) into->inPlace = one.inPlace;
  if (Severity(one.fileSystemInPlace) > Severity(into->fileSystemInPlace)) {
    into->fileSystemInPlace = one.fileSystemInPlace;
  }
  into->otherNames += one.otherNames;
  for (auto& reason : one.reasons) {
    if (std::find(into->reasons.begin(), into->reasons.end(), reason) == into->reasons.end()) {
      into->reasons.push_back(std::move(reason));
    }
  }
}

}  // namespace

struct frmSecureDelete::Survey {
  bool assess = false;                   // judge what the overwrite achieves, for the question
  std::optional<DeletionReport> report;  // the files' reports together
  std::string blocked;  // an entry that may not be removed from its folder
  // Files with more than one name: the names found in the folder and the
  // names the file has.
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::pair<std::uint64_t, std::uint64_t>> linked;
};

bool frmSecureDelete::Initialize(const std::string& i_strPath) { return Prepare(i_strPath, nullptr, false); }

bool frmSecureDelete::InitializeOriginal(const std::string& i_strPath, const platform::FileStatus& i_oEncrypted) {
  return Prepare(i_strPath, &i_oEncrypted, false);
}

bool frmSecureDelete::InitializeOriginalFolder(const std::string& i_strPath,
                                               const platform::FileStatus& i_oEncrypted) {
  return Prepare(i_strPath, &i_oEncrypted, true);
}

bool frmSecureDelete::Prepare(const std::string& i_strPath, const platform::FileStatus* i_pEncrypted,
                              bool i_bFolder) {
  try {
    m_strPath = i_strPath;
    m_oEntry.reset();
    m_oReport.reset();
    m_bFolder = false;
    m_nFolderBytes = m_nBytesDone = 0;
    m_nFiles = m_nFilesDone = 0;
    m_colKept.clear();
    m_strFailure.clear();
    m_strPartial.clear();
    m_colDeviceFacts.clear();
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
    // A folder goes with everything in it; after encrypting, only when the
    // folder was what was encrypted.
    const bool folder = i_pEncrypted ? i_bFolder : entry.kind == FileKind::Folder;
    const std::string what = folder ? "folder" : "file";
    // After encrypting, only what was encrypted is deleted, under its own
    // name: not a link to it, not another file put in its place.
    if (i_pEncrypted && (entry.kind != (folder ? FileKind::Folder : FileKind::Regular) ||
                         !entry.SameFileAs(*i_pEncrypted))) {
      ShowWarning(m_ui,
                  m_strPath +
                      (entry.kind == FileKind::Link ? " is a symbolic link" : " is not the " + what + " being encrypted") +
                      ", so it cannot be deleted securely after encrypting." + kCR + "Encrypt the " + what +
                      " itself, or turn off deleting the original.",
                  0);
      m_oEntry.reset();
      return false;
    }
    if (entry.kind == FileKind::Link && m_oEntry->TargetStatus().kind == FileKind::Folder) {
      ShowWarning(m_ui,
                  m_strPath + " is a symbolic link to a folder.  Secure Delete does not follow links into folders: "
                              "please specify the folder itself.",
                  0);
      m_oEntry.reset();
      return false;
    }
    // What cannot be removed afterwards is not destroyed either.
    if (!m_oEntry->CanRemove()) {
      ShowWarning(m_ui,
                  "The " + what + " " + m_strPath + " cannot be deleted: its folder does not let you remove it." +
                      kCR + "The " + what + " was not changed.",
                  0);
      m_oEntry.reset();
      return false;
    }
    if (folder) {
      // Special files were not encrypted: after encrypting they stay.
      // Otherwise they go too (they hold no data to overwrite).
      m_bKeepSpecial = i_pEncrypted != nullptr;
      return PrepareFolder(i_pEncrypted == nullptr);
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

bool frmSecureDelete::PrepareFolder(bool i_bAsk) {
  // Everything that will be removed is looked at first: a folder that would
  // be left half deleted for want of a permission is not touched at all.
  Survey survey;
  survey.assess = i_bAsk;
  SurveyFolder(*m_oEntry, survey);
  m_colDeviceFacts.clear();
  if (!survey.blocked.empty()) {
    ShowWarning(m_ui,
                "The folder " + m_strPath + " cannot be deleted: " + ShownName(survey.blocked) +
                    " cannot be removed from its folder (you may not change that folder)." + kCR +
                    "The folder was not changed.",
                0);
    m_oEntry.reset();
    return false;
  }
  // Names inside the folder go with it; only names elsewhere keep showing
  // the data that the overwrite destroys.
  std::uint64_t shared = 0;
  m_nOutsideNames = 0;
  for (const auto& [file, names] : survey.linked) {
    if (names.second > names.first) {
      ++shared;
      m_nOutsideNames += names.second - names.first;
    }
  }
  if ((i_bAsk && ConfirmFolderDelete(m_ui, m_strPath, m_nFiles, m_nFolderBytes, survey.report) != MsgResult::Yes) ||
      (shared > 0 && ConfirmSharedFiles(m_ui, m_strPath, shared) != MsgResult::Yes)) {
    m_oEntry.reset();
    return false;
  }
  m_bFolder = true;
  if (i_bAsk) {
    SetOperation("");
    SetFile(GetFileNameOfPath(WithoutTrailingSlash(m_strPath)));
    SetProgress(0, 1);
  }
  return true;
}

void frmSecureDelete::SurveyFolder(const platform::FileEntry& i_oFolder, Survey& io_oSurvey) {
  for (const std::string& name : i_oFolder.Names()) {
    const auto child = i_oFolder.Child(name);
    if (!child) continue;
    const platform::FileStatus& status = child->Status();
    const bool special = status.kind != FileKind::Folder && status.kind != FileKind::Regular &&
                         status.kind != FileKind::Link;
    if ((!special || !m_bKeepSpecial) && io_oSurvey.blocked.empty() && !child->CanRemove()) {
      io_oSurvey.blocked = child->Path();
    }
    if (status.kind == FileKind::Folder) {
      SurveyFolder(*child, io_oSurvey);
    } else if (status.kind == FileKind::Regular) {
      ++m_nFiles;
      m_nFolderBytes += static_cast<std::int64_t>(status.size);
      if (status.links > 1) {
        auto& names = io_oSurvey.linked[{status.device, status.inode}];
        ++names.first;
        names.second = status.links;
      }
      if (io_oSurvey.assess) Merge(io_oSurvey.report, Assess(*child));
    }
  }
}

DeletionReport frmSecureDelete::Assess(const platform::FileEntry& i_oFile) {
  // The file system and the device are examined once per device; the
  // extent map, attributes and links of each file.
  const auto known = m_colDeviceFacts.find(i_oFile.Status().device);
  const platform::StorageFacts facts =
      known != m_colDeviceFacts.end() ? i_oFile.StorageLike(known->second) : i_oFile.Storage();
  if (known == m_colDeviceFacts.end()) m_colDeviceFacts.emplace(i_oFile.Status().device, facts);
  return AssessDeletion(i_oFile.Path(), facts);
}

void frmSecureDelete::DoRun() {
  try {
    SetOperation("Deleting:");
    if (IsStep()) SetFile(GetFileNameOfPath(m_strPath));
    DoEvents();
    if (m_bFolder) {
      m_nResult = SecureDeleteFolder();
      ReportFolderOutcome(m_nResult);
    } else if ((m_nResult = SecureDeleteFile()) != kOk) {
      ShowError(m_ui, "Failed to delete file.  Ensure it is not locked by another application.", 0);
    } else {
      ShowOutcome();
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
  std::int32_t result = kOk;
  try {
    platform::File file;
    try {
      file = m_oEntry->OpenForOverwrite();
    } catch (const RuntimeError& e) {
      ShowError(m_ui, "Failed to open file.", 0);
      return e.Number();
    }
    result = OverwriteFile(file, 0, file.Size());
    if (result != kOk) return result;
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

std::int32_t frmSecureDelete::OverwriteFile(platform::File& io_oFile, std::int64_t i_nDone, std::int64_t i_nTotal) {
  platform::File& file = io_oFile;
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
    SetProgress(i_nDone + std::min(position, i_nTotal - i_nDone), std::max<std::int64_t>(i_nTotal, 1));
    DoEvents();
  }
  // The overwrite reaches the device before the name goes.
  file.SyncData();
  file.Close();
  return Cancelled() ? kCancelled : kOk;
}

std::int32_t frmSecureDelete::SecureDeleteFolder() {
  if (!m_oEntry) throw RuntimeError(platform::rt::kBadFileName);
  SetProgress(0, 1);
  std::int32_t result = kOk;
  try {
    result = DeleteTree(*m_oEntry, "");
    if (result == kOk && m_colKept.empty()) m_oEntry->Remove();
  } catch (const RuntimeError& e) {
    m_strFailure = e.Description();
    result = e.Number();
  }
  if (m_oReport) {
    m_oReport->file = m_strPath + " (" + Files(m_nFilesDone) + ")";
    m_oReport->folder = true;
    m_oReport->otherNames = m_nOutsideNames;
  }
  return result;
}

std::int32_t frmSecureDelete::DeleteTree(const platform::FileEntry& i_oFolder, const std::string& i_strRelative) {
  for (const std::string& name : i_oFolder.Names()) {
    if (Cancelled()) return kCancelled;
    const auto child = i_oFolder.Child(name);
    if (!child) continue;
    const std::string relative = i_strRelative.empty() ? name : i_strRelative + "/" + name;
    const platform::FileStatus& status = child->Status();
    switch (status.kind) {
      case FileKind::Folder: {
        const std::size_t kept = m_colKept.size();
        const std::int32_t result = DeleteTree(*child, relative);
        if (result != kOk) return result;
        // A folder that still holds special files stays with them.
        if (m_colKept.size() == kept) child->Remove();
        break;
      }
      case FileKind::Regular: {
        SetFile(GetFileNameOfPath(WithoutTrailingSlash(m_strPath)) + "/" + ShownName(relative));
        Merge(m_oReport, Assess(*child));
        platform::File file = child->OpenForOverwrite();
        m_strPartial = relative;
        const std::int32_t result = OverwriteFile(file, m_nBytesDone, m_nFolderBytes);
        if (result != kOk) return result;
        child->Remove();
        m_strPartial.clear();
        m_nBytesDone += static_cast<std::int64_t>(status.size);
        ++m_nFilesDone;
        break;
      }
      case FileKind::Link:
        // Links go; what they point to is never followed.
        child->Remove();
        break;
      default:
        // Devices, pipes and sockets hold no data: nothing to overwrite.
        if (m_bKeepSpecial) {
          m_colKept.push_back(ShownName(relative));
        } else {
          child->Remove();
        }
        break;
    }
  }
  return kOk;
}

void frmSecureDelete::ShowOutcome() {
  // What was done, and what it could not promise (nothing for a link).
  if (!m_oReport) return;
  m_ui.ShowMessageBox(MessageBoxRequest {m_strPreface + DeletionOutcome(*m_oReport), "Secure Delete",
                                         m_oReport->inPlace == InPlace::Yes ? MsgIcon::Information : MsgIcon::Exclamation,
                                         MsgButtons::OK, 1, {}});
}

void frmSecureDelete::ReportFolderOutcome(std::int32_t i_nResult) {
  if (i_nResult == kOk) {
    ShowOutcome();
    if (!m_colKept.empty()) {
      ShowWarning(m_ui,
                  std::to_string(m_colKept.size()) +
                      (m_colKept.size() == 1 ? " special file (a device, pipe or socket) was" :
                                               " special files (devices, pipes or sockets) were") +
                      " not encrypted, so " + (m_colKept.size() == 1 ? "it stays" : "they stay") + " in " +
                      m_strPath + " with the folders that hold " + (m_colKept.size() == 1 ? "it" : "them") + ":" +
                      NameLines(m_colKept),
                  0);
    }
    return;
  }
  // Files already deleted are safe in the archive, which was checked; what
  // is left is named so that nothing is taken for deleted that is not.
  const std::uint64_t left = m_nFiles - m_nFilesDone - (m_strPartial.empty() ? 0 : 1);
  std::string text = m_strPreface +
                     (i_nResult == kCancelled ? "Deleting the folder was cancelled." : "Failed to delete folder.") +
                     (m_strFailure.empty() ? std::string() : kCR + m_strFailure + (m_strFailure.ends_with('.') ? "" : ".")) + kCR + std::to_string(m_nFilesDone) +
                     " of " + Files(m_nFiles) + " in " + m_strPath + (m_nFilesDone == 1 ? " was" : " were") +
                     " overwritten and deleted";
  if (!m_strPartial.empty()) text += "; " + ShownName(m_strPartial) + " was partly overwritten";
  if (left > 0) text += std::string("; the rest ") + (left == 1 ? "is as it was" : "are as they were");
  ShowError(m_ui, text + ".", 0);
}

}  // namespace sealvane
