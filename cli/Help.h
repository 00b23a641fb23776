// SPDX-License-Identifier: GPL-3.0-or-later
// What each command does and takes: one text for --help, the overview and
// the man page.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sealvane::cli {

struct OptionHelp {
  std::string flags;
  std::string text;
};

struct CommandHelp {
  std::string name;
  std::string usage;
  std::string summary;
  std::vector<OptionHelp> options;
  std::string notes;
};

const std::vector<CommandHelp>& Commands();
// The command of that name, or none.
const CommandHelp* FindCommand(const std::string& name);

// `sealvane-cli CMD --help`.
void PrintCommandHelp(std::ostream& out, const CommandHelp& command);
// The usage line after a usage error.
void PrintUsageLine(std::ostream& out, const CommandHelp& command);
// `sealvane-cli --help`.
void PrintOverview(std::ostream& out);
// sealvane-cli.1 in roff.
void PrintManPage(std::ostream& out);

}  // namespace sealvane::cli
