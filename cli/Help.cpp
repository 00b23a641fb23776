// SPDX-License-Identifier: GPL-3.0-or-later
#include "Help.h"

#include <ostream>
#include <sstream>

namespace sealvane::cli {
namespace {

const char* const kCiphers =
    "6 or aes \"AES (256-bit)\", the modern format, authenticated, for new archives; for exchanging archives with "
    "Sealvane on the other platform only: 5 \"3DES (168-bit)\", 4 \"RC2 (128-bit)\", 3 \"RC2 (64-bit)\" (3 to 5 need "
    "the enhanced provider), 2 \"DES (56-bit)\", 1 \"RC2 (40-bit)\"";

const std::vector<CommandHelp> kCommands = {
    {"encrypt", "encrypt FILE|FOLDER... [OPTIONS]",
     "Encrypts FILE, compressed first unless told otherwise, into an archive beside it (FILE with the extension "
     ".sva); a FOLDER whole, with its subfolders, times, permissions and inner links, into FOLDER.sva "
     "(decrypting gives the folder back; with ciphers 1 to 5 the archive holds FOLDER.tar, as the other platform "
     "knows no folders); several FILEs each into an archive of their own, with the same settings (the password read once): for a password (--password-file, --password-stdin), or for your default digital ID and the "
     "recipients named with --recipient. When the archive already exists and can be read, its cipher, access and "
     "recipients are taken over, as in the desktop program; you are asked before it is replaced.",
     {{"-o, --output ARCHIVE", "the archive to write (relative to the current folder; its extension becomes .sva); "
                               "with several FILEs, the folder the archives go to (made when missing)"},
      {"--password-file F", "the password: the first line of F (at least 8 characters)"},
      {"--password-stdin", "the password: the first line of standard input"},
      {"--recipient THUMBPRINT", "a digital ID from AddressBook (40 hexadecimal digits) that may open the archive; "
                                 "may be repeated"},
      {"--cipher N", std::string("the cipher: ") + kCiphers +
                         ". Default: the AlgorithmNumber setting (Options in the desktop program; 6 when unset)"},
      {"--compress, --no-compress", "compress before encrypting or not. Default: the AlwaysCompress setting (on)"},
      {"--open-after, --no-open-after",
       "store whether the file is opened after decrypting it. Default: the AlwaysOpen setting (on)"},
      {"--shred-original, --no-shred-original",
       "once the archive is complete, read it back, decrypt it in full and compare it with FILE, then overwrite and "
       "delete FILE (as shred does), or not; a FOLDER is compared with the folder packed again, then each of its "
       "files is overwritten and deleted, and its links and folders removed. Anything that fails on the way leaves "
       "FILE as it was. Default: the AlwaysDeleteOriginal setting (off)"},
      {"--json", "print the file and the archive as one JSON object per FILE (a failed one as {\"file\": ..., "
                 "\"failed\": true}); with --shred-original the deletion's report under \"original\" (as shred "
                 "--json gives it)"},
      {"-q, --quiet", "no progress line (there is none when standard error is not a terminal)"},
      {"-y, --yes", "answer the questions (replace an existing archive) with yes"}},
     "The defaults live in HKCU\\Software\\Brennock\\Sealvane: see them with sealvane-cli reg query "
     "'HKCU\\Software\\Brennock\\Sealvane'."},
    {"decrypt", "decrypt ARCHIVE... [OPTIONS]",
     "Decrypts ARCHIVE into the file it holds, beside the archive under the name stored in it (only its last "
     "component), with its times and attributes. When the archive asks for it, the file is then opened with its "
     "application (--no-open-after prevents that). An archive for a password asks for the password unless it is "
     "given; an archive for digital IDs needs one of yours in MY.",
     {{"-o, --output FILE", "the file to write instead of the stored name; with several ARCHIVEs, the folder the "
                            "files go to under their stored names (made when missing)"},
      {"--password-file F", "the password: the first line of F"},
      {"--password-stdin", "the password: the first line of standard input"},
      {"--open-after, --no-open-after", "open the file afterwards, or not, whatever the archive asks"},
      {"--password-codepage CP",
       "also try the password in Windows code page CP (1250 Central European, 1251 Cyrillic, 1253 Greek, ...): "
       "needed for a password with letters outside ASCII on an archive made on such a system; may be repeated "
       "(the PasswordCodePages setting does the same for every decryption)"},
      {"--mode OCTAL", "the permissions of the decrypted file (such as 640); without it the file is private to "
                       "you: 0600 less your umask, 0400 when the archive marks it read-only (archives keep no "
                       "permissions)"},
      {"--json", "print the file written, its size and its time as one JSON object"},
      {"-q, --quiet", "no progress line"},
      {"-y, --yes", "answer the questions (replace an existing file) with yes"}},
     "Without --json it prints \"Decrypted ARCHIVE into FILE.\". A password with letters outside ASCII is tried as Windows-1252 and as UTF-8, so archives made on Western "
     "systems of the other platform and by earlier versions of Sealvane open with the password as you type it."},
    {"shred", "shred FILE|FOLDER... [OPTIONS]",
     "Overwrites FILE with random bytes, flushes it to the disk and deletes it, after asking. The question and the "
     "closing report say whether the overwrite reaches the blocks that held the data where FILE is kept (not on "
     "copy-on-write file systems, solid-state devices, network shares ...) and why. A FOLDER goes with everything "
     "in it: each file is overwritten and deleted, then links (never followed), devices, pipes and subfolders "
     "removed; nothing is touched when any of it could not be removed.",
     {{"-y, --yes", "answer the question with yes"},
      {"--json", "print the report as one JSON object: file, filesystem, in_place (yes, no or unknown), "
                 "filesystem_in_place (the file system alone), device, other_names and reasons"},
      {"-q, --quiet", "no progress line"},
      {"--shred-hard-links", "also when other names (hard links) show the same data, which is then destroyed for "
                             "them too; without it this is asked even with --yes"}},
     "With several FILEs (or ARCHIVEs for decrypt) each is done on its own: one that fails does not stop the "
     "others, the exit status is 1 when any failed (they are named on standard error), and Ctrl-C stops after "
     "cleaning up the one in hand."},
    {"info", "info ARCHIVE [--json]",
     "Shows an archive's header, access list and file description without decrypting it.",
     {{"--json", "print it as one JSON object"}},
     ""},
    {"options",
     "options [--default-id THUMBPRINT] [--cipher N] [--compress | --no-compress] [--open-after | --no-open-after] "
     "[--shred-original | --no-shred-original]",
     "Shows your encryption defaults, or sets them as the Options dialog of the desktop program does, with its "
     "checks: a default digital ID is needed before anything is saved.",
     {{"--default-id THUMBPRINT", "your default digital ID: one of yours in MY, with its private key (see "
                                  "sealvane-cli certs list MY)"},
      {"--cipher N", std::string("the default cipher: ") + kCiphers},
      {"--compress, --no-compress", "compress before encrypting, or not, by default"},
      {"--open-after, --no-open-after", "open a decrypted file afterwards, or not, by default"},
      {"--shred-original, --no-shred-original",
       "after encrypting, check the archive and securely delete the file, or not, by default (off)"}},
     ""},
    {"reg", "reg query KEY [VALUE] | reg set KEY VALUE TYPE DATA | reg delete KEY [VALUE]",
     "Reads and edits the registry hives: query shows a key's values and subkeys (or one value); set creates the "
     "key if needed and sets a value; delete removes a key with everything below it, or one value.",
     {{"KEY", "starts with HKCU, HKCR or HKLM and uses backslashes: HKCU\\Software\\Brennock\\Sealvane"},
      {"VALUE", "a value name; \"\" names the key's default value"},
      {"TYPE DATA", "REG_SZ or REG_EXPAND_SZ text, REG_BINARY hexadecimal, REG_DWORD decimal or 0x"}},
     ""},
    {"certs", "certs list|import|export|delete|genid ...",
     "The certificate stores: MY (your digital IDs), AddressBook (other people's) and Root.",
     {{"list [STORE]", "list the certificates of MY, AddressBook and Root, or of STORE"},
      {"import FILE [--store STORE] [--password-file F]",
       "import a .cer/.der/.pem certificate (into AddressBook), or a .p12/.pfx digital ID with its private key "
       "(into MY)"},
      {"export THUMBPRINT FILE [--store STORE] [--pfx --password-file F]",
       "write a certificate (DER, or PEM for a .pem FILE), or with --pfx the digital ID with its private key"},
      {"delete STORE THUMBPRINT [--yes]",
       "remove a certificate from a store; for a digital ID of MY, its private key too after asking (--yes: "
       "without asking)"},
      {"genid --name N [--email E] [--org O] [--protect]",
       "generate a digital ID (and its key, protected by a passphrase with --protect) and make it the default one"}},
     ""},
    {"register", "register --program PATH --icon PATH",
     "Records the .sva file type and its open command in HKEY_CLASSES_ROOT (the installation does this).",
     {{"--program PATH", "the desktop program's full path"}, {"--icon PATH", "the icon of the file type"}},
     ""},
};

const char* const kExitStatus =
    "0 when the command did what was asked; 1 when a job was refused or failed (the reason is on standard error); "
    "2 for a usage error; 130 when Ctrl-C (or SIGTERM, SIGHUP) cancelled a job, which then cleaned up as the "
    "Cancel button does.";

const char* const kEnvironment =
    "SEALVANE_HOME: your data folder (default ~/.local/share/sealvane). SEALVANE_MACHINE_HIVE: the machine hive "
    "(default /var/lib/sealvane/machine.db). SEALVANE_PINENTRY: the program that asks the platform's questions "
    "(default pinentry).";

// The text folded at `width` columns, each line after `indent` blanks.
void Wrap(std::ostream& out, const std::string& text, std::size_t indent, std::size_t width) {
  std::istringstream words(text);
  std::string word;
  std::size_t column = 0;
  while (words >> word) {
    if (column > 0 && column + 1 + word.size() > width) {
      out << "\n";
      column = 0;
    }
    if (column == 0) {
      out << std::string(indent, ' ') << word;
      column = indent + word.size();
    } else {
      out << ' ' << word;
      column += 1 + word.size();
    }
  }
  if (column > 0) out << "\n";
}

// Text in roff: backslashes doubled, a leading dot or quote kept literal.
std::string Roff(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '-') out += "\\-";
    else out.push_back(c);
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

}  // namespace

const std::vector<CommandHelp>& Commands() { return kCommands; }

const CommandHelp* FindCommand(const std::string& name) {
  for (const CommandHelp& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

void PrintUsageLine(std::ostream& out, const CommandHelp& command) {
  out << "Usage: sealvane-cli " << command.usage << "\n"
      << "See: sealvane-cli " << command.name << " --help\n";
}

void PrintCommandHelp(std::ostream& out, const CommandHelp& command) {
  out << "Usage: sealvane-cli " << command.usage << "\n\n";
  Wrap(out, command.summary, 0, 78);
  if (!command.options.empty()) {
    out << "\n";
    for (const OptionHelp& option : command.options) {
      out << "  " << option.flags << "\n";
      Wrap(out, option.text, 6, 78);
    }
  }
  if (!command.notes.empty()) {
    out << "\n";
    Wrap(out, command.notes, 0, 78);
  }
  out << "\n";
  Wrap(out, std::string("Exit status: ") + kExitStatus, 0, 78);
}

void PrintOverview(std::ostream& out) {
  out << "Sealvane terminal front-end\n\nUsage: sealvane-cli COMMAND [ARGUMENTS]\n\nCommands:\n";
  for (const CommandHelp& command : kCommands) {
    out << "  " << command.usage << "\n";
    const std::string summary = command.summary;
    Wrap(out, summary.substr(0, summary.find(". ") == std::string::npos ? summary.size() : summary.find(". ") + 1),
         6, 78);
  }
  out << "\nsealvane-cli COMMAND --help shows a command's options; -- ends the options (a file named -x).\n\n";
  Wrap(out, std::string("Exit status: ") + kExitStatus, 0, 78);
  out << "\n";
  Wrap(out, kEnvironment, 0, 78);
}

void PrintManPage(std::ostream& out) {
  out << ".TH SEALVANE-CLI 1 \"\" \"Sealvane 1.01.0518\" \"User Commands\"\n"
         ".SH NAME\nsealvane\\-cli \\- encrypt, decrypt and securely delete files with Sealvane\n"
         ".SH SYNOPSIS\n.B sealvane\\-cli\n.I COMMAND\n[\\fIARGUMENTS\\fR]\n"
         ".SH DESCRIPTION\nThe terminal front-end of Sealvane. Each command takes \\-\\-help; \\-\\- ends the "
         "options.\n";
  for (const CommandHelp& command : kCommands) {
    out << ".SS \"" << Roff(command.name) << "\"\n.B sealvane\\-cli " << Roff(command.usage) << "\n.PP\n"
        << Roff(command.summary) << "\n";
    for (const OptionHelp& option : command.options) {
      out << ".TP\n.B " << Roff(option.flags) << "\n" << Roff(option.text) << "\n";
    }
    if (!command.notes.empty()) out << ".PP\n" << Roff(command.notes) << "\n";
  }
  out << ".SH \"EXIT STATUS\"\n" << Roff(kExitStatus) << "\n.SH ENVIRONMENT\n" << Roff(kEnvironment) << "\n";
}

}  // namespace sealvane::cli
