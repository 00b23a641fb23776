// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane: the desktop program.
#include <QApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "sealvane/forms/modMain.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/Process.h"
#include "sealvane/forms/frmCertManager.h"
#include "sealvane/qt/Appearance.h"
#include "sealvane/qt/CertManagerWindow.h"
#include "sealvane/qt/Glyphs.h"
#include "sealvane/qt/MainWindow.h"
#include "sealvane/qt/QtUiPort.h"

namespace {

// On a desktop the platform's questions (a root certificate, a key's
// passphrase) are asked in a window: the graphical pinentry when it is
// installed and the user chose no other.
void PreferGraphicalPinentry() {
  if (std::getenv("SEALVANE_PINENTRY") != nullptr) return;
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
  const QString program = QStandardPaths::findExecutable(QStringLiteral("pinentry-qt"));
  if (!program.isEmpty()) ::setenv("SEALVANE_PINENTRY", program.toLocal8Bit().constData(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  sealvane::platform::KeepSecretsOutOfCoreDumps();
  try {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sealvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(sealvane::forms::kFileVersion));
    QApplication::setWindowIcon(sealvane::qt::ProgramIcon());
    PreferGraphicalPinentry();
    sealvane::qt::FollowDesktopColourScheme();

    // Qt has taken its own options out of the arguments.
    std::vector<std::string> args;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

    sealvane::qt::QtUiPort port;
    if (args.size() == 1 && args[0] == "--certificates") {
      // The certificate manager, a window of its own.
      sealvane::forms::frmCertManager manager(port);
      sealvane::qt::CertManagerWindow window(manager, port);
      if (!manager.Load()) return 1;
      window.show();
      return QApplication::exec();
    }
    sealvane::forms::frmMain form(port);
    sealvane::qt::MainWindow window(form, port);
    std::vector<std::string> files;
    std::string filesMode;
    const bool several = sealvane::forms::SeveralFiles(args, files, filesMode);
    if (!sealvane::forms::modMain::Startup(port, form, [&window] { window.show(); },
                                           several ? std::string() : sealvane::forms::RebuildCommandLine(args), files,
                                           filesMode)) {
      return 1;
    }
    return QApplication::exec();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sealvane: %s\n", e.what());
    return 1;
  }
}
