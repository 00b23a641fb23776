// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-cli: the terminal front-end.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "CertsCommand.h"
#include "Help.h"
#include "OptionsCommand.h"
#include "JobCommands.h"
#include "RegCommand.h"
#include "TerminalUi.h"
#include "sealvane/forms/modMain.h"
#include "sealvane/platform/Process.h"

namespace {

int Register(const std::vector<std::string>& args) {
  std::string program, icon;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--program" || args[i] == "--icon") && i + 1 < args.size()) {
      (args[i] == "--program" ? program : icon) = args[i + 1];
      ++i;
    } else {
      std::cerr << "sealvane-cli: register takes --program PATH and --icon PATH\n";
      return 2;
    }
  }
  if (program.empty() || program[0] != '/') {
    std::cerr << "sealvane-cli: register needs the program's full path (--program PATH)\n";
    return 2;
  }
  sealvane::cli::TerminalUi ui(std::cin, std::cerr, false);
  return sealvane::forms::RegisterShellSettings(ui, program, icon) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  sealvane::platform::KeepSecretsOutOfCoreDumps();
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    using sealvane::cli::FindCommand;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
      if (args.size() > 1 && args[0] == "help") {
        if (const auto* command = FindCommand(args[1])) {
          sealvane::cli::PrintCommandHelp(std::cout, *command);
          return 0;
        }
      }
      sealvane::cli::PrintOverview(std::cout);
      return args.empty() ? 2 : 0;
    }
    if (args[0] == "--man") {
      sealvane::cli::PrintManPage(std::cout);
      return 0;
    }
    const auto* command = FindCommand(args[0]);
    if (command == nullptr) {
      std::cerr << "sealvane-cli: unknown command \"" << args[0] << "\"; see sealvane-cli --help\n";
      return 2;
    }
    // --help anywhere before "--" shows the command's help.
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
      if (args[i] == "--help" || args[i] == "-h") {
        sealvane::cli::PrintCommandHelp(std::cout, *command);
        return 0;
      }
    }
    if (args[0] == "reg") {
      args.erase(args.begin());
      return sealvane::cli::RunRegCommand(args, std::cout, std::cerr);
    }
    if (args[0] == "encrypt" || args[0] == "decrypt" || args[0] == "shred" || args[0] == "info") {
      const std::string verb = args[0];
      args.erase(args.begin());
      return sealvane::cli::RunJobCommand(verb, args, std::cin, std::cout, std::cerr);
    }
    if (args[0] == "options") {
      args.erase(args.begin());
      return sealvane::cli::RunOptionsCommand(args, std::cin, std::cout, std::cerr);
    }
    if (args[0] == "register") {
      args.erase(args.begin());
      return Register(args);
    }
    if (args[0] == "certs") {
      args.erase(args.begin());
      return sealvane::cli::RunCertsCommand(args, std::cout, std::cerr);
    }
    std::cerr << "sealvane-cli: unknown command \"" << args[0] << "\"; see sealvane-cli --help\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "sealvane-cli: " << e.what() << "\n";
    return 1;
  }
}
