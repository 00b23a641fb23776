// SPDX-License-Identifier: GPL-3.0-or-later
// Several files in one job window: one job per file, each a step of the
// window ("File 3 of 12: report.doc" on its file line, the bar over all of
// them), with the settings asked once beforehand. One file's failure never
// stops the others: its messages are kept for the summary instead of
// stopping the window. Replacing an existing file is asked of each file,
// with Yes to All and No to All. Cancel stops after the file in hand has
// been cleaned up; the files after it are not started.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sealvane/archive/JobWindow.h"

namespace sealvane::forms {

class BatchJob : public JobWindow {
 public:
  // What became of one input.
  struct Item {
    std::string input;
    std::string output;                 // the archive or file it gave, once known
    std::int32_t result = kNotStarted;  // 0 done, -9 cancelled, else failed
    std::vector<std::string> messages;  // what its job said (one line each)
  };
  static constexpr std::int32_t kNotStarted = -1000;
  // Refused before anything was written (the job's checks said why).
  static constexpr std::int32_t kRefused = -1001;

  // Runs `item`'s job with `ui` as a step of `outer` (frmEncrypt or
  // frmDecrypt: Initialize, then RunAsStepOf); returns its result, or
  // kRefused when Initialize refused.
  using RunOne = std::function<std::int32_t(UiPort& ui, JobWindow& outer, Item& item)>;

  BatchJob(UiPort& ui, CipherLibrary& library, std::string caption, const std::vector<std::string>& inputs,
           RunOne run);

  // 0 when every input was done; -9 when cancelled; else the first failure.
  std::int32_t Result() const noexcept override { return m_nResult; }
  const std::vector<Item>& Items() const noexcept { return m_colItems; }
  std::size_t Done() const noexcept;
  // What the inputs are, as the summaries count them: "files", "folders",
  // or "files and folders" (as they were when the job began).
  const std::string& Noun() const noexcept { return m_strNoun; }
  // For the user at the end, when something was not done or something
  // done has a note (a deletion's report): "Encrypted 2 of 3 files.", then
  // each input not done and why, then the notes.
  std::string Summary(const std::string& i_strDone, const std::string& i_strNotDone) const;
  bool HasNotes() const noexcept;

 private:
  class ItemUi;
  void DoRun() override;

  RunOne m_run;
  std::vector<Item> m_colItems;
  std::string m_strNoun;
  std::int32_t m_nResult = 0;
};

}  // namespace sealvane::forms
