// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's questions to the user (confirm adding a root certificate,
// a passphrase for a protected key), asked through a pinentry program:
// $SEALVANE_PINENTRY, else "pinentry", spoken to with the Assuan protocol.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace sealvane::platform {

// A passphrase; its memory is wiped when it is released.
class Passphrase {
 public:
  Passphrase() = default;
  explicit Passphrase(std::string text) : m_text(std::move(text)) {}
  ~Passphrase();
  Passphrase(Passphrase&& other) noexcept : m_text(std::move(other.m_text)) { other.Wipe(); }
  Passphrase& operator=(Passphrase&& other) noexcept;
  Passphrase(const Passphrase&) = delete;
  Passphrase& operator=(const Passphrase&) = delete;
  const std::string& Text() const noexcept { return m_text; }

 private:
  void Wipe() noexcept;
  std::string m_text;
};

enum class PinentryOutcome { Yes, No, Unavailable };

// What the program is doing, for a question asked on its behalf deep inside
// a library (the passphrase of a protected key): "to decrypt report.sva".
// Set on a thread for a span of work; the one before comes back after it.
class PromptPurpose {
 public:
  explicit PromptPurpose(std::string purpose);
  ~PromptPurpose();
  PromptPurpose(const PromptPurpose&) = delete;
  PromptPurpose& operator=(const PromptPurpose&) = delete;
  // The purpose set on this thread, or empty.
  static const std::string& Current() noexcept;

 private:
  std::string m_before;
};

// What a window program does while a question is open, so that its windows
// keep painting: `begin` as the question appears, `idle` every few
// hundredths of a second until it is answered, `end` after it. Called only
// on the thread that set them (the one that draws the windows).
struct PromptWaitHooks {
  std::function<void()> begin;
  std::function<void()> idle;
  std::function<void()> end;
};
void SetPromptWaitHooks(PromptWaitHooks hooks);

// A prompt's description in lines of at most `width` characters, broken
// between words, the lines that go on indented (a graphical pinentry draws
// each line as one, however long).
std::string WrapPromptText(const std::string& text, std::size_t width = 72);

// Asks a yes/no question. No: the user declined or cancelled.
PinentryOutcome PinentryConfirm(const std::string& title, const std::string& description);

// Asks for a passphrase; with `repeat`, asks twice and accepts only two equal
// answers. Empty when the user cancelled or no pinentry could be run;
// `outcome` (when given) tells which: No, or Unavailable.
std::optional<Passphrase> PinentryGetPin(const std::string& title, const std::string& description,
                                         const std::string& prompt, bool repeat, PinentryOutcome* outcome = nullptr);

// Asks for a passphrase on the controlling terminal, without echo; with
// `repeat`, twice, accepting only two equal answers. Empty when there is no
// terminal, the input ended, or the answers differ (`problem` then says
// which, when given). Ctrl-C during the question restores the terminal.
std::optional<Passphrase> AskOnTerminal(const std::string& prompt, bool repeat, std::string* problem = nullptr);

}  // namespace sealvane::platform
