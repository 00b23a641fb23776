// SPDX-License-Identifier: GPL-3.0-or-later
// The help viewer: the compiled help file's contents, index and search
// beside a text browser, in a window of its own.
#pragma once

#include <QWidget>

class QHelpEngine;
class QTextBrowser;
class QUrl;

namespace sealvane::qt {

class HelpViewer : public QWidget {
 public:
  HelpViewer();
  ~HelpViewer() override;

  // Opens the compiled help file at a topic (a path inside it, such as
  // "Help Web/Intro.htm"); false when the file is missing or unreadable.
  bool Open(const QString& helpFile, const QString& topic);
  // Shows a topic of the open file.
  void ShowTopic(const QString& topic);
  // A link clicked in a page: another page (or a place in one) is shown
  // here; web and mail links go to the desktop; anything else is ignored.
  void FollowLink(const QUrl& link);
  QTextBrowser* Browser() const noexcept { return m_browser; }
  QHelpEngine* Engine() const noexcept { return m_engine; }

 private:
  QHelpEngine* m_engine = nullptr;
  QTextBrowser* m_browser = nullptr;
  QString m_namespace;
};

}  // namespace sealvane::qt
