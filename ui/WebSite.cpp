#include "WebSite.h"

QString makerWebSite() {
    return QStringLiteral(ZIL_WEB_SITE);
}

QUrl makerPageUrl(const QString &pathAndQuery) {
    return sitePageUrl(makerWebSite(), pathAndQuery);
}

QUrl sitePageUrl(const QString &site, const QString &pathAndQuery) {
    // fromUserInput also takes an address typed without its scheme ("www.example.com").
    return QUrl::fromUserInput(site).resolved(QUrl(pathAndQuery));
}
