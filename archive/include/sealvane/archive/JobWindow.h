// SPDX-License-Identifier: GPL-3.0-or-later
// What the three job windows share: a step label, a file label, a progress
// bar, a Cancel button that sets a flag tested before each piece, and one
// run of the job when the window is first shown.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <string>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/UiPort.h"

namespace sealvane {

class JobWindow {
 public:
  JobWindow(UiPort& ui, CipherLibrary& library, std::string caption)
      : m_ui(ui), m_library(library), m_strCaption(std::move(caption)) {}
  virtual ~JobWindow() = default;
  JobWindow(const JobWindow&) = delete;
  JobWindow& operator=(const JobWindow&) = delete;

  // The window's first activation: runs the job once.
  void Run() {
    if (m_bRan) return;
    m_bRan = true;
    DoRun();
  }
  // Runs this job as a step of `outer`'s window (checking a new archive,
  // deleting the original after encrypting it): the outer job's Cancel
  // stops it, and the window stays open when it ends.
  void RunAsStepOf(JobWindow& outer) {
    BecomeStepOf(outer);
    Run();
  }
  // The Cancel button.
  void Cancel() noexcept { m_bCancel = true; }
  // The outcome of the run: 0 done, -9 cancelled, else a failure code.
  virtual std::int32_t Result() const noexcept = 0;

  const std::string& Caption() const noexcept { return m_strCaption; }
  const std::string& Operation() const noexcept { return m_strOperation; }
  const std::string& FileLabel() const noexcept { return m_strFile; }
  int Progress() const noexcept { return m_nProgress; }

 protected:
  virtual void DoRun() = 0;

  void SetOperation(const std::string& text) {
    m_strOperation = text;
    m_ui.ShowOperation(text);
  }
  void SetFile(const std::string& text) {
    m_strFile = text;
    m_ui.ShowFile(text);
  }
  // position × 100 / total, as the bar shows it; within the share of the
  // bar given to the current step when the job has several (a step run for
  // another job fills that job's share).
  void SetProgress(std::int64_t position, std::int64_t total) {
    if (m_pOuter) {
      m_pOuter->SetProgress(position, total);
      return;
    }
    const int step = total <= 0 ? 100 : static_cast<int>(static_cast<float>(position) * 100.0f / static_cast<float>(total));
    m_nProgress = m_nShareFrom == 0 && m_nShareTo == 100 ? step : m_nShareFrom + (m_nShareTo - m_nShareFrom) * step / 100;
    m_ui.ShowProgressBytes(position, total);
    m_ui.ShowProgress(m_nProgress);
  }
  // The part of the bar (in percent) the next step fills: one bar over a
  // whole job of several steps, the step named in the caption.
  void SetStepShare(int from, int to) noexcept {
    m_nShareFrom = from;
    m_nShareTo = to;
  }
  void DoEvents() { m_ui.ProcessPendingMessages(); }
  bool Cancelled() const noexcept { return m_bCancel || (m_pOuter && m_pOuter->Cancelled()); }
  bool IsStep() const noexcept { return m_pOuter != nullptr; }
  void BecomeStepOf(JobWindow& outer) noexcept { m_pOuter = &outer; }
  // Runs `work` (which must not touch the user interface) on a thread of
  // its own while the window keeps handling its messages: for a step that
  // cannot be cut into pieces, such as deriving a key from a password.
  // Returns its result or rethrows its exception.
  template <typename F>
  auto RunWhilePainting(F&& work) {
    auto done = std::async(std::launch::async, std::forward<F>(work));
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) DoEvents();
    return done.get();
  }
  // Ends the job: its last caption ("Done", or "Cancelled" or "Failed" when
  // nothing was done), a pause, and the window goes (not for a step of
  // another job's window).
  void Finish(std::int32_t result) {
    if (m_pOuter) return;
    SetOperation(FinalCaption(result));
    DoEvents();
    m_ui.Wait(1000);
  }

  static const char* FinalCaption(std::int32_t result) noexcept {
    return result == kOk ? "Done" : result == kCancelled ? "Cancelled" : "Failed";
  }

  UiPort& m_ui;
  CipherLibrary& m_library;

 private:
  std::string m_strCaption;
  std::string m_strOperation = "Operation:";
  std::string m_strFile = "File";
  int m_nProgress = 0;
  int m_nShareFrom = 0;
  int m_nShareTo = 100;
  bool m_bCancel = false;
  bool m_bRan = false;
  JobWindow* m_pOuter = nullptr;
};

}  // namespace sealvane
