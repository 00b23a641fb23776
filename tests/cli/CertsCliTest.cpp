// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-cli certs, run as a separate program against the sandboxed stores.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/Sandbox.h"
#include "support/TestCertificate.h"

namespace sealvane {
namespace {

using test::ProcessResult;

ProcessResult Cli(std::vector<std::string> args) {
  args.insert(args.begin(), SEALVANE_CLI);
  return test::RunProcess(args);
}

std::string Fixture(const char* name) { return std::string(SEALVANE_FIXTURES) + "/" + name; }

std::string PasswordFile(const char* password) {
  const std::string path = test::SandboxDir() + "/password.txt";
  test::WriteFileBytes(path, std::string(password) + "\n");
  return path;
}

constexpr const char* kFixtureThumbprint = "5A82FC11AACBA611444FBEBA020D5D8897C0ED68";

TEST(CertsCli, ImportListExportAndDelete) {
  ProcessResult r = Cli({"certs", "import", Fixture("capi/capi_fixture.pfx"), "--password-file", PasswordFile("fixture-pass")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find(kFixtureThumbprint), std::string::npos);
  r = Cli({"certs", "import", Fixture("sva/certs/recipient2.der")});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  r = Cli({"certs", "list"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("MY\n  Test User <test@example.com>\n    Thumbprint:  5A82FC11AACBA611444FBEBA020D5D8897C0ED68\n"
                       "    Private key: yes\n    Valid:       2024-01-01 00:00:00 UTC to 2044-01-01 00:00:00 UTC\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("AddressBook\n  Recipient Two\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Private key: no"), std::string::npos);
  EXPECT_NE(r.out.find("Root\n  (no certificates)"), std::string::npos);

  const std::string der = test::SandboxDir() + "/out.cer";
  ASSERT_EQ(Cli({"certs", "export", kFixtureThumbprint, der}).exitCode, 0);
  EXPECT_EQ(test::ReadFileBytes(der), test::ReadFileBytes(Fixture("capi/cert.der")));
  const std::string pem = test::SandboxDir() + "/out.pem";
  ASSERT_EQ(Cli({"certs", "export", "5a:82:fc:11:aa:cb:a6:11:44:4f:be:ba:02:0d:5d:88:97:c0:ed:68", pem}).exitCode, 0);
  EXPECT_EQ(test::ReadFileBytes(pem).rfind("-----BEGIN CERTIFICATE-----", 0), 0u);

  // The exported digital ID comes back with its key into a fresh profile.
  const std::string pfx = test::SandboxDir() + "/out.pfx";
  ASSERT_EQ(Cli({"certs", "export", kFixtureThumbprint, pfx, "--pfx", "--password-file", PasswordFile("new-pass")}).exitCode, 0);
  EXPECT_EQ(std::filesystem::status(pfx).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ::setenv("SEALVANE_HOME", (test::SandboxDir() + "/other").c_str(), 1);
  r = Cli({"certs", "import", pfx, "--password-file", PasswordFile("new-pass")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(Cli({"certs", "list", "MY"}).out.find("Private key: yes"), std::string::npos);
  ::setenv("SEALVANE_HOME", (test::SandboxDir() + "/home").c_str(), 1);

  ASSERT_EQ(Cli({"certs", "delete", "MY", kFixtureThumbprint}).exitCode, 0);
  EXPECT_NE(Cli({"certs", "list", "MY"}).out.find("(no certificates)"), std::string::npos);
  r = Cli({"certs", "delete", "MY", kFixtureThumbprint});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("80092004"), std::string::npos) << r.err;
}

TEST(CertsCli, BadInputIsRefusedClearly) {
  ProcessResult r = Cli({"certs", "import", Fixture("capi/capi_fixture.pfx"), "--password-file", PasswordFile("wrong")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("the password is wrong"), std::string::npos) << r.err;
  const std::string junk = test::SandboxDir() + "/junk.cer";
  test::WriteFileBytes(junk, "this is no certificate");
  r = Cli({"certs", "import", junk});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("holds no certificate"), std::string::npos) << r.err;
  EXPECT_EQ(Cli({"certs", "import", test::SandboxDir() + "/missing.cer"}).exitCode, 1);
  EXPECT_EQ(Cli({"certs", "export", "XYZ", "out"}).exitCode, 2);
  EXPECT_EQ(Cli({"certs", "frobnicate"}).exitCode, 2);
  EXPECT_EQ(Cli({"certs", "list", "--bogus"}).exitCode, 2);
}

TEST(CertsCli, RootImportAsksFirst) {
  ::setenv("FAKE_PINENTRY_CONFIRM", "no", 1);
  ProcessResult r = Cli({"certs", "import", Fixture("capi/cert.der"), "--store", "Root"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("800704c7"), std::string::npos) << r.err;
  ::setenv("FAKE_PINENTRY_CONFIRM", "yes", 1);
  r = Cli({"certs", "import", Fixture("capi/cert.der"), "--store", "Root"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(CertsCli, ACertificatesTextsCannotActOnTheTerminalOrTheRootQuestion) {
  // A subject that sets the window title, clears the screen, starts a CSI
  // and draws a thumbprint line of its own.
  // (A common name holds at most 64 characters.)
  const std::string subject = "Evil\x1B]0;o\x07\x1B[2J\xC2\x9B" "1m\nThumbprint (sha1): 0000000000000000";
  const std::string cer = test::SandboxDir() + "/evil.cer";
  test::WriteFileBytes(cer, test::SelfSignedDer(subject, "a\x1B[2J@example.org"));
  const std::string shown = "Evil\\x1B]0;o\\x07\\x1B[2J\\xC2\\x9B1m\\x0AThumbprint (sha1): 0000000000000000";

  ProcessResult r = Cli({"certs", "import", cer});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Imported " + shown + " ("), std::string::npos) << r.out;
  r = Cli({"certs", "list", "AddressBook"});
  EXPECT_EQ(r.out.find('\x1B'), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\xC2\x9B"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  " + shown + " <a\\x1B[2J@example.org>\n    Thumbprint:  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    Issued by:   " + shown + "\n"), std::string::npos) << r.out;

  // The question before Root: the computed facts first, the subject on one line.
  const std::string log = test::SandboxDir() + "/pinentry.log";
  ::setenv("FAKE_PINENTRY_LOG", log.c_str(), 1);
  ::setenv("FAKE_PINENTRY_CONFIRM", "no", 1);
  r = Cli({"certs", "import", cer, "--store", "Root"});
  ::unsetenv("FAKE_PINENTRY_LOG");
  ::setenv("FAKE_PINENTRY_CONFIRM", "yes", 1);
  EXPECT_EQ(r.exitCode, 1);
  const std::string asked = test::ReadFileBytes(log);
  const auto line = asked.find("SETDESC ");
  ASSERT_NE(line, std::string::npos) << asked;
  const std::string sent = asked.substr(line, asked.find('\n', line) - line);
  // Long lines go on indented; no break ever starts a line with the subject's text.
  EXPECT_EQ(sent.find("%0AThumbprint (sha1): 0000"), std::string::npos) << sent;
  std::string description = sent;
  for (std::size_t at; (at = description.find("%0A  ")) != std::string::npos;) description.replace(at, 5, " ");
  const auto real = description.find("Thumbprint (sha1): ");
  ASSERT_NE(real, std::string::npos) << description;
  EXPECT_EQ(description.find("Thumbprint"), real) << description;
  EXPECT_NE(description.find("%0AValid: 2024-01-01 to 2044-01-01%0AClaiming to represent: Evil"), std::string::npos)
      << description;
  // The subject's own line break is shown, not made.
  EXPECT_NE(description.find("\\x0AThumbprint (sha1): 0000"), std::string::npos) << description;
  EXPECT_EQ(description.find("%0AThumbprint (sha1): 0000"), std::string::npos) << description;
}

TEST(CertsCli, GenIdMakesTheDefaultDigitalIdAndCountsSerials) {
  ProcessResult r = Cli({"certs", "genid", "--name", " Ana ", "--email", "ana@example.org"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("cn=Ana, e=ana@example.org, ou=Sealvane (serial number 1)"), std::string::npos) << r.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("digital ID ([0-9A-F]{40})")));
  const std::string thumbprint = m[1];
  r = Cli({"reg", "query", "HKCU\\Software\\Brennock\\Sealvane"});
  EXPECT_NE(r.out.find("DefaultCertTP    REG_BINARY    " + thumbprint), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CertSerialNumber    REG_DWORD    0x00000001"), std::string::npos);
  r = Cli({"certs", "list", "MY"});
  EXPECT_NE(r.out.find("Ana <ana@example.org>"), std::string::npos) << r.out;

  // A refused root question still uses up a serial number, and leaves
  // nothing of the digital ID: no certificate, no key container.
  const auto keyFiles = [] {
    std::size_t n = 0;
    const std::string keys = std::string(std::getenv("SEALVANE_HOME")) + "/keys";
    if (std::filesystem::exists(keys)) {
      for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(keys)) ++n;
    }
    return n;
  };
  const std::size_t keysBefore = keyFiles();
  const std::string myBefore = Cli({"certs", "list", "MY"}).out;
  ::setenv("FAKE_PINENTRY_CONFIRM", "no", 1);
  r = Cli({"certs", "genid", "--name", "Ben", "--org", "Example"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("CertAddEncodedCertificateToStore - Certificate: 800704c7"), std::string::npos) << r.err;
  EXPECT_EQ(Cli({"certs", "list", "MY"}).out, myBefore);
  EXPECT_EQ(keyFiles(), keysBefore);
  ::setenv("FAKE_PINENTRY_CONFIRM", "yes", 1);
  r = Cli({"certs", "genid", "--name", "Ben", "--org", "Example"});
  EXPECT_NE(r.out.find("cn=Ben, ou=Sealvane, o=Example (serial number 3)"), std::string::npos) << r.out;
}

TEST(CertsCli, GenIdChecksItsInputLikeTheDialog) {
  ProcessResult r = Cli({"certs", "genid", "--name", "  "});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("You must specify a name."), std::string::npos);
  r = Cli({"certs", "genid", "--name", "Doe, John"});
  EXPECT_NE(r.err.find("The following characters must not be used in a Name: , + = < > # \""), std::string::npos);
  r = Cli({"certs", "genid", "--name", "Jo", "--email", "a=b@example.org"});
  EXPECT_NE(r.err.find("must not be used in an E-Mail Address"), std::string::npos);
  r = Cli({"certs", "genid", "--name", "Jo", "--org", "A#B"});
  EXPECT_NE(r.err.find("must not be used in an Organization Name"), std::string::npos);
  r = Cli({"certs", "genid", "--name", "Jo;Jim"});
  EXPECT_NE(r.err.find("Invalid Name, E-Mail Address, or Organizational Name"), std::string::npos) << r.err;
  // Nothing but the semicolon case reached the counter.
  r = Cli({"reg", "query", "HKCU\\Software\\Brennock\\Sealvane", "CertSerialNumber"});
  EXPECT_NE(r.out.find("0x00000001"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(OptionsCli, ShowsAndSetsTheDefaultsWithTheDialogsChecks) {
  ProcessResult r = Cli({"options"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Default digital ID: (none)\nAlgorithm:          AES (256-bit) (cipher 6)\nCompress file:      yes\n"
            "Open after:         yes\nShred original:     no\n");
  // Nothing is saved without a default digital ID; the desktop's words are
  // followed by what to type here.
  r = Cli({"options", "--cipher", "4"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("You must select a digital ID for file encrypting."), std::string::npos) << r.err;
  r = Cli({"encrypt", Fixture("capi/cert.der")});
  EXPECT_NE(r.err.find("In a terminal: sealvane-cli certs genid --name NAME, or sealvane-cli options --default-id"),
            std::string::npos)
      << r.err;

  r = Cli({"certs", "import", Fixture("capi/capi_fixture.pfx"), "--password-file", PasswordFile("fixture-pass")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Cli({"options", "--default-id", std::string(40, '0')});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no digital ID with thumbprint 0000"), std::string::npos) << r.err;
  r = Cli({"options", "--default-id", kFixtureThumbprint, "--cipher", "4", "--no-compress", "--shred-original"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, std::string("Default digital ID: Test User  ") + kFixtureThumbprint +
                       "\nAlgorithm:          RC2 (128-bit) (cipher 4)\nCompress file:      no\nOpen after:         yes\n"
                       "Shred original:     yes\n");
  r = Cli({"reg", "query", "HKCU\\Software\\Brennock\\Sealvane", "AlgorithmNumber"});
  EXPECT_NE(r.out.find("AlgorithmNumber    REG_DWORD    0x00000004"), std::string::npos) << r.out;
  r = Cli({"reg", "query", "HKCU\\Software\\Brennock\\Sealvane", "AlwaysDeleteOriginal"});
  EXPECT_NE(r.out.find("AlwaysDeleteOriginal    REG_DWORD    0xffffffff"), std::string::npos) << r.out;
  // The setting is the default of encrypt: the original goes once checked.
  test::WriteFileBytes(test::SandboxDir() + "/draft.txt", "draft");
  r = Cli({"encrypt", test::SandboxDir() + "/draft.txt", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(std::filesystem::exists(test::SandboxDir() + "/draft.txt"));
  EXPECT_NE(r.out.find("\"original\": {\"file\": "), std::string::npos) << r.out;
  r = Cli({"options", "--no-shred-original"});
  EXPECT_NE(r.out.find("Shred original:     no\n"), std::string::npos) << r.out;

  // A password archive has no recipients; a recipient named twice is one.
  test::WriteFileBytes(test::SandboxDir() + "/plain.txt", "for two");
  r = Cli({"encrypt", test::SandboxDir() + "/plain.txt", "--password-file", PasswordFile("Correct Horse 9"), "--recipient",
           kFixtureThumbprint});
  EXPECT_EQ(r.exitCode, 2);
  ASSERT_EQ(Cli({"certs", "import", Fixture("sva/certs/recipient2.der")}).exitCode, 0);
  r = Cli({"encrypt", test::SandboxDir() + "/plain.txt", "--recipient", "ADED47BC7BE97758C522CCFC2DD702BDA5CC9C67",
           "--recipient", "aded47bc7be97758c522ccfc2dd702bda5cc9c67", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Cli({"info", test::SandboxDir() + "/plain.sva", "--json"});
  EXPECT_EQ(r.out.find("ADED47BC"), r.out.rfind("ADED47BC")) << r.out;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(CertsCli, DeletingADigitalIdOfMyAsksAboutItsKey) {
  namespace fs = std::filesystem;
  const std::string keys = test::SandboxDir() + "/home/keys";
  const auto keyFiles = [&] { return fs::exists(keys) ? test::FolderEntries(keys).size() : 0u; };
  ASSERT_EQ(Cli({"certs", "import", Fixture("capi/capi_fixture.pfx"), "--password-file", PasswordFile("fixture-pass")})
                .exitCode,
            0);
  ASSERT_EQ(keyFiles(), 1u);
  ProcessResult r = test::RunProcess({SEALVANE_CLI, "certs", "delete", "MY", kFixtureThumbprint}, "n\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Delete its private key"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Kept the private key"), std::string::npos) << r.out;
  EXPECT_EQ(keyFiles(), 1u);

  ASSERT_EQ(Cli({"certs", "import", Fixture("capi/capi_fixture.pfx"), "--password-file", PasswordFile("fixture-pass")})
                .exitCode,
            0);
  const std::size_t before = keyFiles();
  r = Cli({"certs", "delete", "MY", kFixtureThumbprint, "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Deleted the private key"), std::string::npos) << r.out;
  EXPECT_EQ(keyFiles(), before - 1);
}

}  // namespace
}  // namespace sealvane
