// SPDX-License-Identifier: GPL-3.0-or-later
// The help quotes the program's own words: every text marked as a message
// in a help page is found, character for character, in the program's code.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;

std::string Decoded(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities) {
    for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), plain);
    }
  }
  return text;
}

TEST(HelpTexts, QuotedMessagesAreTheProgramsOwn) {
  std::string code;
  for (const char* part : {"archive", "app", "cipher", "cli", "platform", "settings", "shellext"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(SEALVANE_SOURCE_DIR) / part)) {
      const auto ext = entry.path().extension();
      if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h")) code += test::ReadFileBytes(entry.path().string());
    }
  }
  const std::regex quoted(R"(<span class="message">([^<]*)</span>)");
  std::size_t found = 0;
  for (const auto& page : fs::directory_iterator(fs::path(SEALVANE_SOURCE_DIR) / "data/help/Help Web")) {
    if (page.path().extension() != ".htm") continue;
    const std::string html = test::ReadFileBytes(page.path().string());
    for (auto m = std::sregex_iterator(html.begin(), html.end(), quoted); m != std::sregex_iterator(); ++m) {
      ++found;
      std::string text = Decoded((*m)[1].str());
      for (char& c : text) {
        if (c == '\n') c = ' ';
      }
      // As a string literal, or the start of one.
      EXPECT_NE(code.find("\"" + text), std::string::npos) << page.path().filename() << ": \"" << text << "\"";
    }
  }
  EXPECT_GE(found, 5u);
}

}  // namespace
}  // namespace sealvane
