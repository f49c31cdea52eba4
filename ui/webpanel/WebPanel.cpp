#include "WebPanel.h"

#include <QDesktopServices>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <unistd.h>

namespace {
// Links in the maker's page open in the system's browser, not inside the small panel.
class ExternalLinkPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeLinkClicked) {
            QDesktopServices::openUrl(url);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

    QWebEnginePage *createWindow(WebWindowType) override {
        // A page asking for a new window gets one that hands its first address to the browser.
        auto *page = new ExternalLinkPage(this);
        connect(page, &QWebEnginePage::urlChanged, page, [page](const QUrl &url) {
            QDesktopServices::openUrl(url);
            page->deleteLater();
        });
        return page;
    }
};
} // namespace

extern "C" Q_DECL_EXPORT QWidget *zilCreateWebPanel(QWidget *parent, const QUrl &page) {
    // The browser engine refuses to start its sandbox as root; only then is it switched off.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    auto *view = new QWebEngineView(parent);
    view->setPage(new ExternalLinkPage(view));
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->load(page);
    return view;
}
