// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt windows on real files: every control by its objectName, a round
// trip through the real job windows, Cancel on a large file, drag and drop,
// and screenshots of each window for a person to look at.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDir>
#include <QFileDialog>
#include <QHelpEngineCore>
#include <QPointer>
#include <QTabBar>
#include <QTextBrowser>
#include <QTextDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <QtTest>
#include <sys/stat.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/csp/WinCrypt.h"
#include "sealvane/forms/modMain.h"
#include "sealvane/forms/frmCertManager.h"
#include "sealvane/qt/Appearance.h"
#include "sealvane/qt/CertManagerWindow.h"
#include "sealvane/qt/HelpViewer.h"
#include "sealvane/qt/JobDialog.h"
#include "Widgets.h"
#include "sealvane/qt/MainWindow.h"
#include "sealvane/qt/QtUiPort.h"
#include "sealvane/settings/clsConfig.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using namespace sealvane;

namespace {

const char* const kPassword = "Correct Horse 9";

QString Q(const std::string& text) { return QString::fromStdString(text); }

// One running copy of the program's windows. A message box that no step of
// the test answers is reported and closed after a while, so that the test
// fails instead of waiting for ever.
struct Program {
  qt::QtUiPort port;
  forms::frmMain form {port};
  qt::MainWindow window {form, port};
  QTimer unanswered;
  QMessageBox* seen = nullptr;
  int ticks = 0;

  explicit Program(const std::string& cmd) {
    QObject::connect(&unanswered, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ticks = box != nullptr && box == seen ? ticks + 1 : 0;
      seen = box;
      if (box != nullptr && ticks >= 20) {
        qWarning("unanswered box: %s", qPrintable(box->text()));
        box->reject();
      }
    });
    unanswered.start(250);
    forms::modMain::Startup(port, form, [this] { window.show(); }, cmd);
    if (!QTest::qWaitForWindowExposed(&window)) qWarning("the main window was not exposed");
  }
  template <typename T>
  T* Find(const char* name) {
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qWarning("no widget %s", name);
    return widget;
  }
  QRadioButton* Option(int index) {
    for (auto* option : window.findChildren<QRadioButton*>(QStringLiteral("optAccess"))) {
      if (option->property("index").toInt() == index) return option;
    }
    return nullptr;
  }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
};

// Acts on each modal window that appears until `act` says it is done with
// them; polls the event loop as a user would look at the screen.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<bool(QWidget*)> act) : m_act(std::move(act)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && m_act(modal)) m_timer.stop();
    });
    m_timer.start(5);
  }

 private:
  std::function<bool(QWidget*)> m_act;
  QTimer m_timer;
};

// Bytes no compressor shrinks (xorshift32 from `seed`).
std::string Incompressible(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    c = static_cast<char>(seed);
  }
  return bytes;
}

void Shot(QWidget* widget, const QString& name) {
  const QString dir = QString::fromLatin1(SEALVANE_SCREENSHOTS);
  QDir().mkpath(dir);
  QVERIFY(widget->grab().save(dir + "/" + name + ".png"));
}

// Whether a window is on the screen: under a window manager it is mapped
// some time after it becomes modal, and a click before that is lost.
bool Shown(QWidget* window) {
  return window->isVisible() && window->windowHandle() != nullptr && window->windowHandle()->isExposed();
}

// Presses a message box's button, once it is on the screen, and records its
// text; false (try again) before that.
bool Answer(QWidget* modal, QMessageBox::StandardButton button, QStringList* texts = nullptr) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (box == nullptr || !Shown(box)) return false;
  if (texts) texts->append(box->windowTitle() + ": " + box->text());
  QTest::mouseClick(box->button(button), Qt::LeftButton);
  return true;
}

// A tooltip's text as Qt draws it: as markup when it looks like markup.
QString TipAsShown(const QString& tip) {
  if (!Qt::mightBeRichText(tip)) return tip;
  QTextDocument document;
  document.setHtml(tip);
  return document.toPlainText();
}

// A job that only names its file.
// Encrypts what the program was started with by password, the original
// deleted: records the job window's steps, shoots the window when it shows
// `shotStep`, and answers `boxes` message boxes with OK, each shot as
// `boxShot` with its number.
void EncryptDeletingTheOriginal(Program& p, int boxes, const QString& shotStep, const QString& boxShot,
                                QStringList& steps, QStringList& texts) {
  auto* deleteOriginal = p.Find<QCheckBox>("chkDeleteOriginal");
  QVERIFY(deleteOriginal->isVisible());
  QVERIFY(!deleteOriginal->isChecked());
  QTest::mouseClick(deleteOriginal, Qt::LeftButton, {}, QPoint(8, deleteOriginal->height() / 2));
  QVERIFY(deleteOriginal->isChecked());
  QTest::mouseClick(p.Option(1), Qt::LeftButton);
  QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), kPassword);
  QTest::keyClicks(p.Find<QLineEdit>("txtConfirmPassword"), kPassword);
  ModalWatcher watch([&](QWidget* modal) {
    if (auto* step = modal->findChild<QLabel*>(QStringLiteral("lblOperation"))) {
      if (steps.isEmpty() || steps.back() != step->text()) {
        steps << step->text();
        if (step->text() == shotStep) Shot(modal, QStringLiteral("job-window-") + shotStep.chopped(1).toLower());
      }
      return false;
    }
    if (qobject_cast<QMessageBox*>(modal) != nullptr && Shown(modal)) {
      Shot(modal, boxShot + QStringLiteral("-%1").arg(texts.size() + 1));
      // A box comes from the step the job window shows behind it: a short
      // step may end between two looks, but never before its box.
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* step = window->isVisible() ? window->findChild<QLabel*>(QStringLiteral("lblOperation")) : nullptr;
        if (step != nullptr && (steps.isEmpty() || steps.back() != step->text())) steps << step->text();
      }
    }
    return Answer(modal, QMessageBox::Ok, &texts) && texts.size() == boxes;
  });
  p.Click("btnOK");
}

class NamedJob : public JobWindow {
 public:
  NamedJob(UiPort& ui, const std::string& file) : JobWindow(ui, CipherLibrary::Default(), "Sealvane - Decrypt") {
    SetOperation("Decrypting:");
    SetFile(file);
  }
  std::int32_t Result() const noexcept override { return 0; }

 protected:
  void DoRun() override {}
};

// The desktop's notification service, as far as a test needs it.
class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList received;

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
              const QVariantMap&, int) {
    received << summary + QLatin1Char('|') + body;
    return static_cast<uint>(received.size());
  }
};

}  // namespace

class GuiTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    test::EnterSandbox();
    const std::string runtime = test::SandboxDir() + "/runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    qputenv("XDG_RUNTIME_DIR", runtime.c_str());
    clsConfig().SetWelcomed(true);
    fs::create_directories(Data(""));
  }
  void cleanup() { test::LeaveSandbox(); }

  void everyControlHasItsNameCaptionAndTooltip() {
    Program p("");
    for (const auto& [name, state] : p.form.Controls()) {
      const QString expectedText = Q(state.text);
      if (name == "frmMain") {
        QCOMPARE(p.window.windowTitle(), QStringLiteral("Sealvane"));
      } else if (name.rfind("optAccess(", 0) == 0) {
        QRadioButton* option = p.Option(name[10] - '0');
        QVERIFY(option);
        QCOMPARE(option->text().remove(QLatin1Char('&')), expectedText);
        QCOMPARE(option->toolTip(), Q(state.tooltip));
      } else if (auto* action = p.window.findChild<QAction*>(Q(name))) {
        QCOMPARE(action->text(), expectedText);
        if (!state.tooltip.empty()) QCOMPARE(action->toolTip(), Q(state.tooltip));
      } else if (auto* menu = p.window.findChild<QMenu*>(Q(name))) {
        QCOMPARE(menu->title(), expectedText);
      } else {
        QWidget* widget = p.window.findChild<QWidget*>(Q(name));
        QVERIFY2(widget, name.c_str());
        QCOMPARE(widget->toolTip(), Q(state.tooltip));
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) QCOMPARE(button->text().remove(QLatin1Char('&')), expectedText);
        if (auto* label = qobject_cast<QLabel*>(widget); label && !expectedText.isEmpty()) {
          QCOMPARE(label->text().remove(QLatin1Char('&')), expectedText);
        }
      }
    }
    auto* list = p.Find<QTreeWidget>("lvwAccess");
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("Name"));
    QCOMPARE(list->headerItem()->text(1), QStringLiteral("E-Mail Address"));
    QVERIFY(qAbs(list->columnWidth(0) - list->viewport()->width() * 4 / 10) <= 1);
    QVERIFY(p.Find<QToolBar>("tbrToolbar"));
    QVERIFY(p.Find<QStatusBar>("sbrStatusBar"));
    QCOMPARE(p.Find<QLabel>("Status")->text(), QStringLiteral("Ready"));
    QVERIFY(p.Find<QAction>("Encrypt")->isChecked());
    QCOMPARE(p.Find<QLineEdit>("txtPassword")->echoMode(), QLineEdit::Password);
    // Text that fits: no label is cut; and no label reads its text as markup.
    for (auto* label : p.window.findChildren<QLabel*>()) {
      QCOMPARE(label->textFormat(), Qt::PlainText);
      if (label->isVisible()) QVERIFY2(label->width() >= label->minimumSizeHint().width(), qPrintable(label->objectName()));
    }
  }

  void keyboardReachesEveryControl() {
    test::WriteFileBytes(Data("keys.txt"), "keys");
    Program p("/e \"" + Data("keys.txt") + "\"");
    p.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.window));
    // Every label and button has its own Alt letter, none taken from the menu bar.
    const auto letterOf = [](const QString& text) {
      const auto at = text.indexOf(QLatin1Char('&'));
      return at < 0 || at + 1 >= text.size() ? QChar() : text.at(at + 1).toLower();
    };
    QSet<QChar> letters;
    for (QAction* menu : p.window.menuBar()->actions()) {
      if (!letterOf(menu->text()).isNull()) letters << letterOf(menu->text());
    }
    QCOMPARE(letters.size(), 3);
    QWidget* page = p.window.centralWidget();
    for (QWidget* widget : page->findChildren<QWidget*>()) {
      QString text;
      if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) text = label->text();
      if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->objectName() != QLatin1String("btnOK")) {
        text = button->text();
      }
      if (text.isEmpty()) continue;
      const QChar letter = letterOf(text);
      QVERIFY2(!letter.isNull(), qPrintable(widget->objectName()));
      QVERIFY2(!letters.contains(letter), qPrintable(widget->objectName() + QStringLiteral(" ") + text));
      letters << letter;
    }
    // Alt+R: the password box (once passwords are the access).
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    QTest::keyClick(&p.window, Qt::Key_R, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), p.Find<QLineEdit>("txtPassword"));
    // Ctrl+O: Browse for the file; F1: the help; Ctrl+Q: the window closes.
    QString browsed;
    {
      ModalWatcher watch([&](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (files == nullptr) return false;
        browsed = files->windowTitle();
        files->reject();
        return true;
      });
      QTest::keyClick(&p.window, Qt::Key_O, Qt::ControlModifier);
    }
    QVERIFY(!browsed.isEmpty());
    p.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.window));
    QTest::keyClick(&p.window, Qt::Key_F1);
    QTRY_VERIFY(p.form.HelpWindow() != 0);
    p.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.window));
    QTest::keyClick(&p.window, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!p.window.isVisible());
  }

  void passwordsCanBeShownAndAreRated() {
    test::WriteFileBytes(Data("shown.txt"), "shown");
    Program p("/e \"" + Data("shown.txt") + "\"");
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    auto* password = p.Find<QLineEdit>("txtPassword");
    auto* confirm = p.Find<QLineEdit>("txtConfirmPassword");
    auto* strength = p.Find<QLabel>("lblStrength");
    QTest::keyClicks(password, "violet tugboat quietly borrows 41 lanterns");
    QCOMPARE(strength->text(), QStringLiteral("Password strength: very strong."));
    QVERIFY(strength->isVisible());
    QTest::keyClicks(confirm, "violet tugboat quietly borrows 41 lanterns");
    auto* show = p.window.findChild<QAction*>(QStringLiteral("actShowPassword"));
    QVERIFY(show);
    show->trigger();
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QCOMPARE(confirm->echoMode(), QLineEdit::Normal);
    Shot(&p.window, QStringLiteral("main-password-shown"));
    // After the job the boxes are empty and hide what is typed next.
    p.Click("btnOK");
    QVERIFY(fs::exists(Data("shown.sva")));
    QCOMPARE(password->text(), QString());
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(confirm->echoMode(), QLineEdit::Password);
    QCOMPARE(strength->text(), QString());
  }

  void roundTripThroughTheWindows() {
    const std::string content(300000, 'x');
    test::WriteFileBytes(Data("report with spaces.doc"), content);
    {
      Program p("/e \"" + Data("report with spaces.doc") + "\"");
      QCOMPARE(p.Find<QLineEdit>("txtEncFile")->text(), Q(Data("report with spaces.sva")));
      QTest::mouseClick(p.Option(1), Qt::LeftButton);
      QVERIFY(p.Find<QLineEdit>("txtPassword")->isEnabled());
      QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), kPassword);
      QTest::keyClicks(p.Find<QLineEdit>("txtConfirmPassword"), kPassword);
      QStringList captions;
      ModalWatcher watch([&](QWidget* modal) {
        captions << modal->windowTitle();
        return true;
      });
      p.Click("btnOK");
      QCOMPARE(captions, QStringList {QStringLiteral("Sealvane - Encrypt")});
      QVERIFY(fs::exists(Data("report with spaces.sva")));
      QCOMPARE(p.Find<QLineEdit>("txtPassword")->text(), QString());
    }
    fs::rename(Data("report with spaces.doc"), Data("original.doc"));
    {
      Program p("\"" + Data("report with spaces.sva") + "\"");
      QVERIFY(p.Find<QAction>("Decrypt")->isChecked());
      // Into the archive's folder, under the name it stores (sealed).
      QCOMPARE(p.Find<QLineEdit>("txtFile")->text(), Q(Data("")));
      QVERIFY(!p.Find<QLineEdit>("txtConfirmPassword")->isEnabled());
      QVERIFY(!p.Find<QComboBox>("cmbAlgorithm")->isEnabled());
      // On the box itself: the check box is as wide as its row.
      auto* open = p.Find<QCheckBox>("chkOpenFile");
      QVERIFY(open->isChecked());
      QTest::mouseClick(open, Qt::LeftButton, {}, QPoint(8, open->height() / 2));
      QVERIFY(!open->isChecked());
      QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), kPassword);
      p.Click("btnOK");
      QCOMPARE(test::ReadFileBytes(Data("report with spaces.doc")), content);
    }
    {
      Program p("/d \"" + Data("original.doc") + "\"");
      QVERIFY(!p.Find<QLineEdit>("txtEncFile")->isVisible());
      QStringList texts;
      // The question, then the report of what the overwrite achieved.
      ModalWatcher watch([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || !Shown(box)) return false;
        const bool question = box->windowTitle() == QStringLiteral("Secure Delete?");
        Shot(box, question ? QStringLiteral("secure-delete-question") : QStringLiteral("secure-delete-report"));
        Answer(modal, question ? QMessageBox::Yes : QMessageBox::Ok, &texts);
        return !question;
      });
      p.Click("btnOK");
      QCOMPARE(texts.size(), 2);
      QVERIFY(texts[1].startsWith(QStringLiteral("Secure Delete: ") + Q(Data("original.doc")) +
                                  QStringLiteral(" was overwritten and deleted")));
      QVERIFY(!fs::exists(Data("original.doc")));
    }
    {
      // Encrypt with the original deleted: the job window names each step.
      test::WriteFileBytes(Data("draft.doc"), content);
      Program p("/e \"" + Data("draft.doc") + "\"");
      QStringList steps, texts;
      EncryptDeletingTheOriginal(p, 1, QStringLiteral("Verifying:"), QStringLiteral("encrypt-delete-report"), steps,
                                 texts);
      QVERIFY(!fs::exists(Data("draft.doc")));
      QVERIFY(fs::exists(Data("draft.sva")));
      QVERIFY2(steps.contains(QStringLiteral("Verifying:")), qPrintable(steps.join(QLatin1Char('|'))));
      QVERIFY2(steps.contains(QStringLiteral("Deleting:")), qPrintable(steps.join(QLatin1Char('|'))));
      QCOMPARE(texts.size(), 1);
      QVERIFY(texts[0].contains(QStringLiteral("was read back and gives the original back exactly.")));
    }
    {
      // A folder: checked against the folder packed again, then each file
      // goes; a pipe was not encrypted and stays, with its folder.
      fs::create_directories(Data("Album/2025"));
      test::WriteFileBytes(Data("Album/2025/beach.raw"), Incompressible(6u << 20, 88172645u));
      test::WriteFileBytes(Data("Album/notes.txt"), content);
      QCOMPARE(::mkfifo(Data("Album/2025/camera pipe").c_str(), 0600), 0);
      Program p("/e \"" + Data("Album") + "\"");
      QStringList steps, texts;
      // Three boxes: the pipe left out, the report, the pipe kept.
      EncryptDeletingTheOriginal(p, 3, QStringLiteral("Deleting:"), QStringLiteral("folder-delete-box"), steps, texts);
      QVERIFY(fs::exists(Data("Album.sva")));
      QVERIFY(!fs::exists(Data("Album/notes.txt")));
      QVERIFY(!fs::exists(Data("Album/2025/beach.raw")));
      QVERIFY(fs::exists(Data("Album/2025/camera pipe")));
      QVERIFY2(steps.contains(QStringLiteral("Deleting:")), qPrintable(steps.join(QLatin1Char('|'))));
      QCOMPARE(texts.size(), 3);
      QVERIFY2(texts[1].contains(QStringLiteral(" (2 files) was overwritten and deleted")), qPrintable(texts[1]));
      QVERIFY2(texts[2].contains(QStringLiteral("2025/camera pipe")), qPrintable(texts[2]));
    }
    {
      // What stayed of it goes with Secure Delete: one question for the folder.
      test::WriteFileBytes(Data("Album/2025/left.txt"), content);
      Program p("/d \"" + Data("Album") + "\"");
      QStringList texts;
      ModalWatcher watch([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || !Shown(box)) return false;
        const bool question = box->windowTitle() == QStringLiteral("Secure Delete?");
        if (question) Shot(box, QStringLiteral("secure-delete-folder-question"));
        Answer(modal, question ? QMessageBox::Yes : QMessageBox::Ok, &texts);
        return !question;
      });
      p.Click("btnOK");
      QCOMPARE(texts.size(), 2);
      QVERIFY2(texts[0].contains(QStringLiteral(" and everything in it (1 file, ")), qPrintable(texts[0]));
      QVERIFY(!fs::exists(Data("Album")));
    }
  }

  void passphraseQuestionsKeepTheWindowsPainting() {
    // A digital ID whose key asks for a passphrase, and a file made for it.
    qputenv("FAKE_PINENTRY_PIN", "s3cret");
    const SLSystemTime from {2026, 1, 0, 1, 0, 0, 0, 0};
    const SLSystemTime to {2046, 1, 0, 1, 0, 0, 0, 0};
    std::uint8_t thumbprint[20] = {};
    char message[SL_MESSAGE_SIZE] = {};
    QCOMPARE(CipherLibrary::Default().SLGenDigitalID("CN=Careful User, E=careful@example.org", 0, -1, 7, &from, &to,
                                                     thumbprint, message),
             1);
    clsConfig().SetDefaultCertTP(ByteArray(thumbprint, thumbprint + 20));
    test::WriteFileBytes(Data("plans.txt"), "the plans");
    {
      Program p("/e \"" + Data("plans.txt") + "\"");
      QVERIFY(p.Option(0)->isChecked());
      p.Click("btnOK");
      QVERIFY(fs::exists(Data("plans.sva")));
    }
    fs::remove(Data("plans.txt"));
    // While the user takes their time over the question, the job window
    // keeps being drawn, its controls disabled; afterwards they work again.
    qputenv("FAKE_PINENTRY_DELAY", "0.8");
    Program p("\"" + Data("plans.sva") + "\"");
    p.Find<QCheckBox>("chkOpenFile")->setChecked(false);
    int ticks = 0, disabledTicks = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      ++ticks;
      if (!p.window.isEnabled()) ++disabledTicks;
    });
    watch.start(20);
    p.Click("btnOK");
    watch.stop();
    QCOMPARE(test::ReadFileBytes(Data("plans.txt")), std::string("the plans"));
    QVERIFY2(disabledTicks >= 10, qPrintable(QString::number(disabledTicks)));
    QVERIFY(p.window.isEnabled());
    const std::string log = test::ReadFileBytes(test::SandboxDir() + "/pinentry.log");
    QVERIFY(log.find("Careful User <careful@example.org>%0Ato decrypt plans.sva.") != std::string::npos);
    qunsetenv("FAKE_PINENTRY_DELAY");
    qunsetenv("FAKE_PINENTRY_PIN");
  }

  void jobEndsAreToldToTheDesktopWhenTheUserIsElsewhere() {
    if (qEnvironmentVariableIsEmpty("SEALVANE_TEST_PRIVATE_BUS")) QSKIP("needs a session bus of its own (dbus-run-session)");
    NotificationService service;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service, QDBusConnection::ExportAllSlots));
    Program p("");
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    p.window.JobEnded("Encrypted <b>plans</b>.txt into plans.sva, 3 KB, 0.1 s", true);
    QTRY_COMPARE(service.received.size(), 1);
    QCOMPARE(service.received[0], QStringLiteral("Sealvane: done|Encrypted &lt;b&gt;plans&lt;/b&gt;.txt into plans.sva, 3 KB, 0.1 s"));
    // The user looking at the window sees the status bar; nothing more.
    p.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.window));
    p.window.JobEnded("Decrypted plans.sva into plans.txt, 3 KB, 0.1 s", true);
    QTest::qWait(300);
    QCOMPARE(service.received.size(), 1);
    bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  }

  void boxesAreCentredOnTheirWindowOrTheScreen() {
    qt::QtUiPort port;
    forms::frmMain form {port};
    qt::MainWindow window {form, port};
    QPoint centre;
    QWidget* parent = &window;  // until a box says otherwise
    ModalWatcher watch([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr || !Shown(box)) return false;
      centre = box->geometry().center();
      parent = box->parentWidget();
      return Answer(modal, QMessageBox::Ok);
    });
    // The window not shown yet (the welcome at the first start): the screen.
    port.ShowMessageBox(MessageBoxRequest {"Welcome", "Sealvane", MsgIcon::Information, MsgButtons::OK, 1, {}});
    QCOMPARE(parent, nullptr);
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    QVERIFY2((centre - screen.center()).manhattanLength() < 80, qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
    // Once it is shown: on the window.
    window.move(screen.left() + 10, screen.top() + 10);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ModalWatcher again([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr || !Shown(box)) return false;
      parent = box->parentWidget();
      return Answer(modal, QMessageBox::Ok);
    });
    port.ShowMessageBox(MessageBoxRequest {"Later", "Sealvane", MsgIcon::Information, MsgButtons::OK, 1, {}});
    QCOMPARE(parent, static_cast<QWidget*>(&window));
    window.close();
  }

  void warningsAreDrawnAsBoxes() {
    Program p("");
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), "seven77");
    QStringList texts;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalWatcher watch([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) icon = box->icon();
      return Answer(modal, QMessageBox::Ok, &texts);
    });
    p.Find<QLineEdit>("txtEncFile")->setFocus();
    p.Click("btnOK");
    QCOMPARE(texts, QStringList {QStringLiteral("Warning!: Please select a file.")});
    QCOMPARE(icon, QMessageBox::Warning);
    // A path typed into the File box, taken when the user leaves it (Tab).
    test::WriteFileBytes(Data("typed.txt"), "typed");
    auto* file = p.Find<QLineEdit>("txtFile");
    p.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.window));
    file->setFocus();
    QTest::keyClicks(file, Q(Data("typed.txt")));
    QTest::keyClick(file, Qt::Key_Tab);
    QCOMPARE(p.Find<QLineEdit>("txtEncFile")->text(), Q(Data("typed.sva")));
  }

  void warningsPutTheUserBackOnTrack() {
    csp::BYTE own[20];
    QVERIFY(csp::ImportPfx(Fixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", own));
    clsConfig().SetDefaultCertTP(ByteArray(own, own + 20));
    test::WriteFileBytes(Data("letter.txt"), "a letter");
    // No application opens text files here.
    const std::string bin = test::SandboxDir() + "/bin";
    fs::create_directories(bin);
    test::WriteFileBytes(bin + "/xdg-mime", "#!/bin/sh\n[ \"$2\" = filetype ] && echo text/plain\nexit 0\n");
    test::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + test::SandboxDir() + "/opened.log'\n");
    fs::permissions(bin + "/xdg-mime", fs::perms(0755));
    fs::permissions(bin + "/xdg-open", fs::perms(0755));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ":" + path);
    {
      Program p("/e \"" + Data("letter.txt") + "\"");
      p.window.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&p.window));
      QTest::mouseClick(p.Option(1), Qt::LeftButton);
      auto* password = p.Find<QLineEdit>("txtPassword");
      auto* confirm = p.Find<QLineEdit>("txtConfirmPassword");
      QStringList texts;
      ModalWatcher watch([&](QWidget* modal) {
        Answer(modal, QMessageBox::Ok, &texts);
        return false;
      });
      // Too short, then two that differ: each time both boxes are emptied
      // and the user types again in Password.
      for (const auto& [first, second] : {std::pair {"short1", "short1"}, std::pair {"long enough 1", "long enough 2"}}) {
        QTest::keyClicks(password, QString::fromLatin1(first));
        QTest::keyClicks(confirm, QString::fromLatin1(second));
        confirm->setFocus();
        p.Click("btnOK");
        QCOMPARE(password->text(), QString());
        QCOMPARE(confirm->text(), QString());
        QTRY_COMPARE(p.window.focusWidget(), static_cast<QWidget*>(password));
      }
      QCOMPARE(texts, (QStringList {QStringLiteral("Warning!: A password must be at least 8 characters long."),
                                    QStringLiteral("Warning!: The passwords you entered do not match.  Please try again.")}));
      // Options, OK: the access chosen stays.
      ModalWatcher options([&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("frmOptions")) return false;
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        return true;
      });
      p.Find<QAction>("mnuToolsOptions")->trigger();
      QVERIFY(p.Option(1)->isChecked());
      QTest::keyClicks(password, kPassword);
      QTest::keyClicks(confirm, kPassword);
      p.Click("btnOK");
      QVERIFY(fs::exists(Data("letter.sva")));
    }
    fs::remove(Data("letter.txt"));
    {
      // Decrypted, with nothing to open it: said as information, its folder offered.
      Program p("\"" + Data("letter.sva") + "\"");
      QVERIFY(p.Find<QCheckBox>("chkOpenFile")->isChecked());
      QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), kPassword);
      QStringList texts;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      ModalWatcher watch([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal); box && Shown(box)) icon = box->icon();
        return Answer(modal, QMessageBox::Yes, &texts);
      });
      p.Click("btnOK");
      QCOMPARE(texts.size(), 1);
      QVERIFY2(texts[0].startsWith(QStringLiteral("Decrypt: letter.txt was decrypted into ") + QDir(Q(Data(""))).absolutePath() +
                                   QStringLiteral(".")),
               qPrintable(texts[0]));
      QCOMPARE(icon, QMessageBox::Information);
      // Yes: the folder is shown (by the desktop's opener).
      QTRY_VERIFY(fs::exists(test::SandboxDir() + "/opened.log"));
      QCOMPARE(QString::fromStdString(test::ReadFileBytes(test::SandboxDir() + "/opened.log")).trimmed(),
               QDir(Q(Data(""))).absolutePath());
    }
    qputenv("PATH", path);
  }

  void cancelMidwayLeavesNothing() {
    // Large and hard to compress, so that the job is still running when the
    // user looks.
    const std::string content = Incompressible(48u << 20, 2463534242u);
    test::WriteFileBytes(Data("big.bin"), content);
    Program p("/e \"" + Data("big.bin") + "\"");
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), kPassword);
    QTest::keyClicks(p.Find<QLineEdit>("txtConfirmPassword"), kPassword);
    bool pressed = false;
    int seenProgress = 0;
    QString fileLabel, lastCaption;
    ModalWatcher watch([&](QWidget* modal) {
      if (pressed) {
        // The window's last words before it goes.
        if (auto* step = modal->findChild<QLabel*>(QStringLiteral("lblOperation"))) lastCaption = step->text();
        return lastCaption == QLatin1String("Cancelled");
      }
      auto* bar = modal->findChild<QProgressBar*>(QStringLiteral("pgbProgressBar"));
      if (bar == nullptr || bar->value() < 1) return false;
      seenProgress = bar->value();
      fileLabel = modal->findChild<QLabel*>(QStringLiteral("lblFile"))->toolTip();
      Shot(modal, QStringLiteral("job-window-midway"));
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
      pressed = true;
      return false;
    });
    p.Click("btnOK");
    QVERIFY(pressed);
    QCOMPARE(lastCaption, QStringLiteral("Cancelled"));
    QVERIFY(seenProgress > 0 && seenProgress < 100);
    QCOMPARE(fileLabel, QStringLiteral("big.bin"));
    QVERIFY(!fs::exists(Data("big.sva")));
    QCOMPARE(p.Find<QLabel>("Status")->text(), QStringLiteral("Encrypting big.bin was cancelled"));
    QCOMPARE(test::FolderEntries(Data("")), std::vector<std::string> {"big.bin"});
    QCOMPARE(fs::file_size(Data("big.bin")), content.size());
  }

  void severalFilesAreListedAndDoneInOneWindow() {
    // Large enough that the job window is seen at work on the second file.
    const std::string large = Incompressible(24u << 20, 88172645u);
    const std::vector<std::string> names = {"a letter.txt", "holiday photos.bin", "empty.txt", "budget 2026.xls"};
    test::WriteFileBytes(Data(names[0]), "Dear all");
    test::WriteFileBytes(Data(names[1]), large);
    test::WriteFileBytes(Data(names[2]), "");
    test::WriteFileBytes(Data(names[3]), "figures");
    test::WriteFileBytes(Data("budget 2026.sva"), "an older archive");
    Program p("");
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& name : names) urls << QUrl::fromLocalFile(Q(Data(name)));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&p.window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&p.window, &dropped);
    auto* list = p.Find<QListWidget>("lstFiles");
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->count(), 4);
    QCOMPARE(p.Find<QLineEdit>("txtFile")->text(), QStringLiteral("4 files, listed below"));
    QVERIFY(p.Find<QLineEdit>("txtFile")->isReadOnly());
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), kPassword);
    QTest::keyClicks(p.Find<QLineEdit>("txtConfirmPassword"), kPassword);
    Shot(&p.window, QStringLiteral("main-encrypt-several"));
    bool replaced = false, seenSecond = false;
    QString summary;
    ModalWatcher watch([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (!Shown(box)) return false;
        if (box->button(QMessageBox::YesToAll) != nullptr) {
          Shot(box, QStringLiteral("replace-yes-to-all"));
          QTest::mouseClick(box->button(QMessageBox::YesToAll), Qt::LeftButton);
          replaced = true;
          return false;
        }
        summary = box->text();
        Shot(box, QStringLiteral("several-summary"));
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        return true;
      }
      auto* file = modal->findChild<QLabel*>(QStringLiteral("lblFile"));
      if (!seenSecond && file != nullptr && file->toolTip().startsWith(QStringLiteral("File 2 of 4: "))) {
        Shot(modal, QStringLiteral("job-window-several"));
        seenSecond = true;
      }
      return false;
    });
    p.Click("btnOK");
    QTRY_VERIFY(!summary.isEmpty());
    QVERIFY(replaced);
    QVERIFY(seenSecond);
    QCOMPARE(summary, QStringLiteral("Encrypted 3 of 4 files.\n\nNot encrypted:\nempty.txt: The file is empty.  Please "
                                     "specify a non-empty file."));
    for (const char* archive : {"a letter.sva", "holiday photos.sva", "budget 2026.sva"}) {
      QVERIFY2(fs::file_size(Data(archive)) > 100, archive);
    }
    QVERIFY(!fs::exists(Data("empty.sva")));
    QVERIFY(p.Find<QLabel>("Status")->text().startsWith(QStringLiteral("Encrypted 3 of 4 files, ")));
    // The one left is in the window, to be tried again.
    QVERIFY(!list->isVisible());
    QCOMPARE(p.Find<QLineEdit>("txtFile")->text(), Q(Data("empty.txt")));
  }

  void droppingAFilePreparesItsMode() {
    test::WriteFileBytes(Data("notes.txt"), "notes");
    Program p("");
    const auto drop = [&](const std::string& path) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(Q(path))});
      QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&p.window, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&p.window, &dropped);
    };
    drop(Data("notes.txt"));
    QVERIFY(p.Find<QAction>("Encrypt")->isChecked());
    QCOMPARE(p.Find<QLineEdit>("txtEncFile")->text(), Q(Data("notes.sva")));
    drop(Data("letter.sva"));
    QVERIFY(p.Find<QAction>("Decrypt")->isChecked());
    QCOMPARE(p.Find<QLineEdit>("txtEncFile")->text(), Q(Data("letter.sva")));
  }

  void helpViewerOpensAtTheIntroductionAndClosesWithTheMainWindow() {
    QPointer<QWidget> viewer;
    {
      Program p("");
      // A help file that is not there gives no window.
      QCOMPARE(p.window.ShowHelp("/nowhere/SealvaneHelp.qch", "Help Web/Intro.htm"), std::uintptr_t {0});
      p.Find<QAction>("mnuHelpTopics")->trigger();
      const auto viewers = [] {
        QList<QWidget*> found;
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (w->objectName() == QLatin1String("frmHelp") && w->isVisible()) found << w;
        }
        return found;
      };
      QCOMPARE(viewers().size(), 1);
      viewer = viewers().constFirst();
      auto* browser = viewer->findChild<QTextBrowser*>(QStringLiteral("txtTopic"));
      QVERIFY(browser);
      QCOMPARE(browser->source().path(), QStringLiteral("/doc/Help Web/Intro.htm"));
      QCOMPARE(browser->documentTitle(), QStringLiteral("Welcome to Sealvane"));
      // Another page, then Help Topics again: the same viewer, back at the introduction.
      browser->setSource(QUrl(browser->source().toString().replace("Intro.htm", "SecureDelete.htm")));
      QVERIFY(browser->toPlainText().contains(QStringLiteral("copy-on-write"), Qt::CaseInsensitive));
      // A link between pages, clicked: the viewer follows it.
      browser->setSource(QUrl(browser->source().toString().replace("SecureDelete.htm", "Troubleshooting.htm")));
      const QTextCursor link = browser->document()->find(QStringLiteral("Digital IDs"), 0, QTextDocument::FindCaseSensitively);
      QVERIFY(!link.isNull());
      QTextCursor inside(browser->document());
      inside.setPosition(link.selectionStart() + 2);
      browser->ensureCursorVisible();
      QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(inside).center());
      QTRY_COMPARE(browser->source().path(), QStringLiteral("/doc/Help Web/DigitalIDs.htm"));
      QCOMPARE(browser->source().scheme(), QStringLiteral("qthelp"));
      p.Find<QAction>("mnuHelpTopics")->trigger();
      QCOMPARE(viewers().size(), 1);
      QCOMPARE(viewers().constFirst(), viewer.data());
      QCOMPARE(browser->documentTitle(), QStringLiteral("Welcome to Sealvane"));
      QCOMPARE(p.form.HelpWindow(), reinterpret_cast<std::uintptr_t>(viewer.data()));
      QTest::qWait(300);  // the contents are built in the background
      Shot(viewer, QStringLiteral("help-viewer"));
      p.window.close();
    }
    QTRY_VERIFY(viewer.isNull());
  }

  void compiledHelpHoldsEveryTopic() {
    const QString qch = QCoreApplication::applicationDirPath() + QStringLiteral("/SealvaneHelp.qch");
    QHelpEngineCore engine(Q(test::SandboxDir()) + QStringLiteral("/check.qhc"));
    engine.setReadOnly(false);
    QVERIFY(engine.setupData());
    QVERIFY2(engine.registerDocumentation(qch), qPrintable(engine.error()));
    const QString ns = QHelpEngineCore::namespaceName(qch);
    const QDir topics(QString::fromLatin1(SEALVANE_HELP_SOURCE) + QStringLiteral("/Help Web"));
    const QStringList names = topics.entryList(QDir::Files);
    QVERIFY(names.size() >= 11);
    for (const QString& name : names) {
      QUrl url;
      url.setScheme(QStringLiteral("qthelp"));
      url.setHost(ns);
      url.setPath(QStringLiteral("/doc/Help Web/") + name);
      QVERIFY2(!engine.fileData(url).isEmpty(), qPrintable(name));
    }
  }

  void messageBoxesDrawOutsideTextAsTyped() {
    // A stored name that looks like markup is shown as it is: it cannot
    // replace the box's own sentences.
    qt::QtUiPort port;
    const std::string name = "<b>Decryption complete.<br><br>Open the decrypted invoice now?<!--.desktop";
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    bool checkShown = false;
    ModalWatcher watch([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr) return false;
      shown = box->text();
      format = box->textFormat();
      if (auto* check = box->checkBox()) {
        checkShown = true;
        check->setChecked(true);
      }
      QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
      return true;
    });
    bool checked = false;
    MessageBoxRequest request {name + " can run programs on this computer.", "Open File?", MsgIcon::Question,
                               MsgButtons::YesNo, 2};
    request.checkBox = "Do not ask again";
    request.checked = &checked;
    QCOMPARE(port.ShowMessageBox(request), MsgResult::Yes);
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(shown.startsWith(QString::fromStdString(name)));
    QVERIFY(checkShown);
    QVERIFY(checked);
  }

  void jobWindowsDrawOutsideNamesAsTyped() {
    // The file label and its tooltip carry the stored name of an archive.
    qt::QtUiPort port;
    const QString name = QStringLiteral("<b>Decryption complete.<br><br>Open the invoice now?<!--.desktop");
    NamedJob job(port, name.toStdString());
    qt::JobDialog dialog(job, port, nullptr);
    auto* file = dialog.findChild<QLabel*>(QStringLiteral("lblFile"));
    QVERIFY(file);
    QCOMPARE(file->textFormat(), Qt::PlainText);
    QCOMPARE(TipAsShown(file->toolTip()), name);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblOperation"))->textFormat(), Qt::PlainText);
    // A program's own tooltip is left as it is.
    QCOMPARE(qt::PlainTip(QStringLiteral("Ready")), QStringLiteral("Ready"));
  }

  void certificateManagerRoundTrips() {
    qt::QtUiPort port;
    forms::frmCertManager form(port);
    qt::CertManagerWindow window(form, port);
    QVERIFY(form.Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("lvwCertificates"));
    auto* tabs = window.findChild<QTabBar*>(QStringLiteral("tabStores"));
    const auto click = [&](const char* name) {
      QTest::mouseClick(window.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    };
    QStringList boxes, folders;
    // Each step: the file dialog, then the password dialog when there is one, then the closing note.
    const auto script = [&](const QString& path, const QString& filter, const QStringList& passwords) {
      return [&boxes, &folders, path, filter, passwords, step = 0](QWidget* modal) mutable {
        if (auto* files = qobject_cast<QFileDialog*>(modal); files && step == 0) {
          folders << files->directory().absolutePath();
          if (!filter.isEmpty()) files->selectNameFilter(filter);
          files->selectFile(path);
          static_cast<QDialog*>(files)->accept();
          step = 1;
          return false;
        }
        if (modal->objectName() == QLatin1String("dlgPassword") && step == 1) {
          QTest::keyClicks(modal->findChild<QLineEdit*>(QStringLiteral("txtPassword")), passwords.value(0));
          if (passwords.size() > 1) {
            QTest::keyClicks(modal->findChild<QLineEdit*>(QStringLiteral("txtConfirmPassword")), passwords.value(1));
          }
          Shot(modal, QStringLiteral("certificate-password"));
          QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
          step = 2;
          return false;
        }
        return Answer(modal, QMessageBox::Ok, &boxes);
      };
    };
    {
      ModalWatcher watch(script(Q(FixturePath("sva/certs/recipient2.der")), {}, {}));
      click("btnImport");
    }
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(list->topLevelItemCount(), 1);
    {
      ModalWatcher watch(script(Q(FixturePath("sva/certs/recipient1.pfx")), {}, {QStringLiteral("recipient-pass")}));
      click("btnImport");
    }
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(5), QStringLiteral("Yes"));
    QVERIFY(list->topLevelItem(0)->isSelected());
    Shot(&window, QStringLiteral("certificate-manager"));
    for (const auto& [name, filter, passwords] :
         {std::tuple {"own.pem", "Certificate, Base64 encoded (*.pem)", QStringList {}},
          std::tuple {"own.cer", "Certificate, DER encoded (*.cer)", QStringList {}},
          std::tuple {"own.p12", "Digital ID with its private key (*.p12)",
                      QStringList {QStringLiteral("n3w-Secret"), QStringLiteral("n3w-Secret")}}}) {
      ModalWatcher watch(script(Q(Data(name)), QString::fromLatin1(filter), passwords));
      click("btnExport");
      QVERIFY2(fs::exists(Data(name)), name);
    }
    QCOMPARE(fs::status(Data("own.p12")).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // Each file dialog opened where the one before it went.
    const QString fixtures = QDir(Q(FixturePath("sva/certs"))).absolutePath();
    const QString data = QDir(Q(Data(""))).absolutePath();
    QCOMPARE(folders.mid(1), (QStringList {fixtures, fixtures, data, data}));
    QVERIFY(test::ReadFileBytes(Data("own.pem")).rfind("-----BEGIN CERTIFICATE-----", 0) == 0);
    const auto own = form.Rows(0)[0];
    for (const char* name : {"own.pem", "own.cer"}) {
      QVERIFY(CertificateService().Import(Data(name), "AddressBook", {}).thumbprint == own.thumbprint);
    }
    // The details, then deletion of the certificate and, on the second Yes, its key.
    int detailRows = 0;
    ModalWatcher details([&](QWidget* modal) {
      if (modal->objectName() != QLatin1String("dlgDetails")) return false;
      detailRows = modal->findChild<QTreeWidget*>(QStringLiteral("lvwDetails"))->topLevelItemCount();
      Shot(modal, QStringLiteral("certificate-details"));
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
      return true;
    });
    click("btnDetails");
    QVERIFY(detailRows > 10);
    QStringList questions;
    ModalWatcher yes([&](QWidget* modal) {
      Answer(modal, QMessageBox::Yes, &questions);
      return questions.size() == 2;
    });
    click("btnDelete");
    QCOMPARE(questions.size(), 2);
    QVERIFY(questions[1].contains(QStringLiteral("delete its private key")));
    QCOMPARE(list->topLevelItemCount(), 0);
    QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("btnDelete"))->isEnabled());
    // The key went with it: the exported .p12 brings the digital ID back.
    const auto back = CertificateService().Import(Data("own.p12"), "MY", [] {
      return std::optional<platform::Passphrase>(platform::Passphrase("n3w-Secret"));
    });
    QVERIFY(back.privateKey);
    QCOMPARE(boxes.size(), 5);  // two imports, three exports
  }

  void theDarkSchemeIsFollowed() {
    const QPalette light = QApplication::palette();
    const QString style = QApplication::style()->name();
    qputenv("SEALVANE_COLOR_SCHEME", "dark");
    qt::FollowDesktopColourScheme();
    qunsetenv("SEALVANE_COLOR_SCHEME");
    QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 128);
    test::WriteFileBytes(Data("night.txt"), "night");
    {
      Program p("/e \"" + Data("night.txt") + "\"");
      QTest::mouseClick(p.Option(1), Qt::LeftButton);
      QTest::keyClicks(p.Find<QLineEdit>("txtPassword"), "Correct Horse 9");
      // The boxes and their text follow the palette, the read-only look too.
      auto* password = p.Find<QLineEdit>("txtPassword");
      QVERIFY(password->palette().color(QPalette::Base).lightness() < 80);
      QVERIFY(p.Find<QLabel>("lblStrength")->palette().color(QPalette::WindowText).lightness() > 180);
      Shot(&p.window, QStringLiteral("dark-main-encrypt-password"));
      p.Find<QAction>("Decrypt")->trigger();
      QVERIFY(p.Find<QLineEdit>("txtEncFile")->palette().color(QPalette::Base).lightness() < 128);
      Shot(&p.window, QStringLiteral("dark-main-decrypt"));
      ModalWatcher options([&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("frmOptions")) return false;
        Shot(modal, QStringLiteral("dark-options"));
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        return true;
      });
      p.Find<QAction>("mnuToolsOptions")->trigger();
    }
    QApplication::setStyle(QStyleFactory::create(style));
    QApplication::setPalette(light);
  }

  void screenshotsOfEveryWindow() {
    csp::BYTE own[20];
    QVERIFY(csp::ImportPfx(Fixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", own));
    clsConfig().SetDefaultCertTP(ByteArray(own, own + 20));
    for (const char* name : {"sva/certs/recipient1.der", "sva/certs/recipient2.der"}) {
      const auto der = Fixture(name);
      csp::HCERTSTORE store = csp::CertOpenSystemStoreA(0, "AddressBook");
      QVERIFY(csp::CertAddEncodedCertificateToStore(store, csp::X509_ASN_ENCODING, der.data(),
                                                    static_cast<csp::DWORD>(der.size()),
                                                    csp::CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
      csp::CertCloseStore(store, 0);
    }
    test::WriteFileBytes(Data("quarterly report.doc"), std::string(123456, 'q'));
    Program p("/e \"" + Data("quarterly report.doc") + "\"");
    Shot(&p.window, QStringLiteral("main-encrypt"));
    // The recipients dialog, with everything chosen.
    ModalWatcher select([&](QWidget* modal) {
      if (modal->objectName() != QLatin1String("frmSelectDigitalID")) return false;
      auto* list = modal->findChild<QTreeWidget*>(QStringLiteral("lvwDigitalID"));
      list->selectAll();
      Shot(modal, QStringLiteral("select-digital-ids"));
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
      return true;
    });
    p.Click("btnSelectAccess");
    QCOMPARE(p.Find<QTreeWidget>("lvwAccess")->topLevelItemCount(), 3);
    Shot(&p.window, QStringLiteral("main-encrypt-recipients"));
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    Shot(&p.window, QStringLiteral("main-encrypt-password"));
    p.Find<QAction>("Decrypt")->trigger();
    Shot(&p.window, QStringLiteral("main-decrypt"));
    p.Find<QAction>("SecureDelete")->trigger();
    Shot(&p.window, QStringLiteral("main-secure-delete"));
    // At its minimum size (asked for by shrinking it), in the mode with the
    // most rows, nothing overlaps and nothing is cut off.
    p.Find<QAction>("Encrypt")->trigger();
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    p.window.resize(1, 1);
    QApplication::processEvents();
    QWidget* page = p.window.centralWidget();
    QList<QWidget*> shown;
    for (QWidget* child : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (child->isVisible() && !child->geometry().isEmpty() && child->objectName() != QLatin1String("spcFill")) {
        shown << child;
      }
    }
    QVERIFY(shown.size() > 10);
    for (int i = 0; i < shown.size(); ++i) {
      QVERIFY2(page->rect().contains(shown[i]->geometry()), qPrintable(shown[i]->objectName()));
      QVERIFY2(shown[i]->height() >= shown[i]->minimumSizeHint().height(), qPrintable(shown[i]->objectName()));
      for (int j = i + 1; j < shown.size(); ++j) {
        QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                 qPrintable(shown[i]->objectName() + QStringLiteral(" / ") + shown[j]->objectName()));
      }
    }
    Shot(&p.window, QStringLiteral("main-encrypt-minimum"));
    // A read-only box looks read-only (the archive's box when decrypting).
    const QColor button = QApplication::palette().color(QPalette::Button);
    QVERIFY(p.Find<QLineEdit>("txtFile")->palette().color(QPalette::Base) != button);
    p.Find<QAction>("Decrypt")->trigger();
    QCOMPARE(p.Find<QLineEdit>("txtEncFile")->palette().color(QPalette::Base), button);
    p.Find<QAction>("Encrypt")->trigger();
    QTest::mouseClick(p.Option(1), Qt::LeftButton);
    p.window.resize(900, 650);
    QTest::mouseClick(p.Option(0), Qt::LeftButton);
    Shot(&p.window, QStringLiteral("main-encrypt-large"));
    ModalWatcher options([&](QWidget* modal) {
      if (modal->objectName() != QLatin1String("frmOptions")) return false;
      Shot(modal, QStringLiteral("options"));
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
      return true;
    });
    p.Find<QAction>("mnuToolsOptions")->trigger();
    ModalWatcher generate([&](QWidget* modal) {
      if (modal->objectName() != QLatin1String("frmGenDigitalID")) return false;
      Shot(modal, QStringLiteral("generate-digital-id"));
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
      return true;
    });
    p.Find<QAction>("mnuToolsGenDigitalID")->trigger();
    ModalWatcher about([&](QWidget* modal) {
      if (modal->objectName() != QLatin1String("frmAbout")) return false;
      Shot(modal, QStringLiteral("about"));
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
      return true;
    });
    p.Find<QAction>("mnuHelpAbout")->trigger();
  }

 private:
  static std::string Data(const std::string& name) { return test::SandboxDir() + "/data/" + name; }
  static std::string FixturePath(const std::string& name) { return std::string(SEALVANE_FIXTURES) + "/" + name; }
  static std::vector<csp::BYTE> Fixture(const std::string& name) {
    const std::string bytes = test::ReadFileBytes(std::string(SEALVANE_FIXTURES) + "/" + name);
    return {bytes.begin(), bytes.end()};
  }
};

QTEST_MAIN(GuiTest)
#include "GuiTest.moc"
