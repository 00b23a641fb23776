// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/HelpViewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpFilterEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "sealvane/platform/Environment.h"

namespace sealvane::qt {

namespace {

// A text browser that reads its pages from the help file.
class HelpBrowser : public QTextBrowser {
 public:
  HelpBrowser(QHelpEngine* engine, QWidget* parent) : QTextBrowser(parent), m_engine(engine) {}

  QVariant loadResource(int type, const QUrl& name) override {
    if (name.scheme() == QLatin1String("qthelp")) return m_engine->fileData(name);
    return QTextBrowser::loadResource(type, name);
  }

 private:
  QHelpEngine* m_engine;
};

}  // namespace

HelpViewer::HelpViewer() : QWidget(nullptr, Qt::Window) {
  setObjectName("frmHelp");
  setWindowTitle(QStringLiteral("Sealvane Help"));
  setAttribute(Qt::WA_DeleteOnClose);
  resize(900, 620);
}

HelpViewer::~HelpViewer() = default;

bool HelpViewer::Open(const QString& helpFile, const QString& topic) {
  if (!QFileInfo(helpFile).isReadable()) return false;
  const QString ns = QHelpEngineCore::namespaceName(helpFile);
  if (ns.isEmpty()) return false;
  // The collection that records the help file lives in the user's folder.
  const QString folder = QString::fromStdString(platform::SealvaneHome()) + QStringLiteral("/help");
  if (!QDir().mkpath(folder)) return false;
  m_engine = new QHelpEngine(folder + QStringLiteral("/SealvaneHelp.qhc"), this);
  m_engine->setReadOnly(false);
  m_engine->setUsesFilterEngine(true);
  if (!m_engine->setupData()) return false;
  // A help file moved or replaced since the last time is registered anew.
  if (m_engine->registeredDocumentations().contains(ns) &&
      QFileInfo(m_engine->documentationFileName(ns)).canonicalFilePath() != QFileInfo(helpFile).canonicalFilePath()) {
    m_engine->unregisterDocumentation(ns);
  }
  if (!m_engine->registeredDocumentations().contains(ns) && !m_engine->registerDocumentation(helpFile)) return false;
  m_namespace = ns;

  m_browser = new HelpBrowser(m_engine, this);
  m_browser->setObjectName("txtTopic");
  // Links between pages stay in the viewer; only the web and mail leave it.
  m_browser->setOpenLinks(false);
  m_browser->setOpenExternalLinks(false);
  connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) { FollowLink(link); });

  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("tabNavigation");
  QHelpContentWidget* contents = m_engine->contentWidget();
  contents->setObjectName("lvwContents");
  tabs->addTab(contents, QStringLiteral("&Contents"));
  QHelpIndexWidget* index = m_engine->indexWidget();
  index->setObjectName("lvwIndex");
  tabs->addTab(index, QStringLiteral("&Index"));
  auto* search = new QWidget(tabs);
  auto* searchLayout = new QVBoxLayout(search);
  QHelpSearchEngine* searchEngine = m_engine->searchEngine();
  searchLayout->addWidget(searchEngine->queryWidget());
  searchLayout->addWidget(searchEngine->resultWidget(), 1);
  tabs->addTab(search, QStringLiteral("&Search"));

  connect(contents, &QHelpContentWidget::linkActivated, m_browser, [this](const QUrl& url) { m_browser->setSource(url); });
  connect(index, &QHelpIndexWidget::documentActivated, m_browser,
          [this](const QHelpLink& link, const QString&) { m_browser->setSource(link.url); });
  connect(index, &QHelpIndexWidget::documentsActivated, m_browser, [this](const QList<QHelpLink>& links, const QString&) {
    if (!links.isEmpty()) m_browser->setSource(links.constFirst().url);
  });
  connect(searchEngine->queryWidget(), &QHelpSearchQueryWidget::search, searchEngine,
          [searchEngine] { searchEngine->search(searchEngine->queryWidget()->searchInput()); });
  connect(searchEngine->resultWidget(), &QHelpSearchResultWidget::requestShowLink, m_browser,
          [this](const QUrl& url) { m_browser->setSource(url); });
  connect(m_engine->contentModel(), &QHelpContentModel::contentsCreated, contents, [contents] { contents->expandAll(); });
  m_engine->contentModel()->createContents(m_engine->filterEngine()->activeFilter());
  m_engine->indexModel()->createIndex(m_engine->filterEngine()->activeFilter());
  searchEngine->scheduleIndexDocumentation();

  auto* splitter = new QSplitter(this);
  splitter->addWidget(tabs);
  splitter->addWidget(m_browser);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({290, 610});
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(splitter);
  ShowTopic(topic);
  return true;
}

void HelpViewer::FollowLink(const QUrl& link) {
  const QUrl url = m_browser->source().resolved(link);
  const QString scheme = url.scheme();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
    QDesktopServices::openUrl(url);
  } else if (scheme == QLatin1String("qthelp") && url.host() == m_namespace) {
    m_browser->setSource(url);
  }
}

void HelpViewer::ShowTopic(const QString& topic) {
  QUrl url;
  url.setScheme(QStringLiteral("qthelp"));
  url.setHost(m_namespace);
  url.setPath(QStringLiteral("/doc/") + topic);
  m_browser->setSource(url);
}

}  // namespace sealvane::qt
