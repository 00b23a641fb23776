// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-mailhost: the simulated mail client as a program. It connects
// the add-ins registered for the client, runs a script of user actions and
// prints every window's command bars after each step.
//
//   sealvane-mailhost [SCRIPT]          run SCRIPT (standard input without one)
//   sealvane-mailhost --register SERVER / --unregister SERVER
//
// Script lines: "open mail|contact|meeting|note [BARS]", "close N",
// "send N", "quit"; BARS as "Standard=2617,5469h,4;Formatting=1" (h:
// hidden). "#" starts a comment.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Client.h"
#include "sealvane/com/Server.h"

using namespace sealvane::outlook;

// The add-ins' message boxes: printed as a block of lines.
extern "C" [[gnu::visibility("default")]] int SealvaneMessageBoxA(void*, const char* text, const char* caption,
                                                                   unsigned) {
  std::string body = text != nullptr ? text : "";
  for (char& c : body) {
    if (c == '\r') c = '\n';
  }
  std::cout << "[message box \"" << (caption != nullptr ? caption : "") << "\"]\n" << body << "\n[end]\n";
  return 1;
}

namespace {

const char* ClassName(LONG itemClass) {
  switch (itemClass) {
    case olMail: return "mail";
    case olContact: return "contact";
    case olMeetingRequest: return "meeting";
    case olNote: return "note";
    default: return "item";
  }
}

bool ClassOf(const std::string& word, LONG& out) {
  if (word == "mail") out = olMail;
  else if (word == "contact") out = olContact;
  else if (word == "meeting") out = olMeetingRequest;
  else if (word == "note") out = olNote;
  else return false;
  return true;
}

void Print(const sim::Client& client, const std::map<int, LONG>& classes) {
  for (int window : client.Windows()) {
    std::cout << "window " << window << " (" << ClassName(classes.at(window)) << ")\n";
    std::istringstream bars(client.Describe(window));
    for (std::string line; std::getline(bars, line);) std::cout << "  " << line << "\n";
  }
}

int Run(std::istream& script) {
  sim::Client client;
  for (const auto& note : client.Start()) std::cerr << "sealvane-mailhost: add-in not connected: " << note << "\n";
  std::cout << "connected add-ins: " << client.ConnectedAddIns() << "\n";
  std::map<int, LONG> classes;
  int lineNo = 0;
  for (std::string line; std::getline(script, line);) {
    ++lineNo;
    if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string verb, arg, bars;
    words >> verb >> arg >> bars;
    if (verb.empty()) continue;
    std::cout << "> " << verb << (arg.empty() ? "" : " " + arg) << (bars.empty() ? "" : " " + bars) << "\n";
    try {
      if (verb == "open") {
        LONG itemClass = 0;
        if (!ClassOf(arg, itemClass)) throw std::invalid_argument("unknown item \"" + arg + "\"");
        const int window =
            client.Open(itemClass, bars.empty() ? sim::DefaultMailBars() : sim::ParseBars(bars == "-" ? "" : bars));
        classes[window] = itemClass;
      } else if (verb == "close" || verb == "send") {
        const int window = std::stoi(arg);
        if (verb == "close") {
          client.Close(window);
        } else {
          std::cout << (client.Send(window) ? "sent\n" : "not sent\n");
        }
      } else if (verb == "quit") {
        client.Quit();
        Print(client, classes);
        return 0;
      } else {
        throw std::invalid_argument("unknown action \"" + verb + "\"");
      }
    } catch (const std::exception& e) {
      std::cerr << "sealvane-mailhost: line " << lineNo << ": " << e.what() << "\n";
      return 2;
    }
    Print(client, classes);
  }
  client.Quit();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--register" || first == "--unregister") {
      if (argc != 3) {
        std::cerr << "usage: sealvane-mailhost --register|--unregister SERVER\n";
        return 2;
      }
      std::string error;
      const HRESULT hr = sealvane::com::CallServerEntry(
          argv[2], first == "--register" ? "DllRegisterServer" : "DllUnregisterServer", &error);
      if (FAILED(hr)) {
        std::fprintf(stderr, "sealvane-mailhost: %s failed: 0x%08X %s\n", first.c_str() + 2,
                     static_cast<unsigned>(hr), error.c_str());
        return 1;
      }
      return 0;
    }
    if (first == "--help" || first == "-h") {
      std::cout << "usage: sealvane-mailhost [SCRIPT]\n       sealvane-mailhost --register|--unregister SERVER\n";
      return 0;
    }
    if (argc > 1) {
      std::ifstream script(argv[1]);
      if (!script) {
        std::cerr << "sealvane-mailhost: cannot read " << argv[1] << "\n";
        return 2;
      }
      return Run(script);
    }
    return Run(std::cin);
  } catch (const std::exception& e) {
    std::cerr << "sealvane-mailhost: " << e.what() << "\n";
    return 1;
  }
}
