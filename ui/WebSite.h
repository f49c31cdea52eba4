#pragma once

// The maker's web site and the addresses of its pages.

#include <QString>
#include <QUrl>

// The maker's web site, as configured when the program was built (ZIL_WEB_SITE).
QString makerWebSite();

// A page of the maker's site: the path and query replace whatever path the site address has,
// so a configured address with or without a trailing slash gives the same page.
QUrl makerPageUrl(const QString &pathAndQuery);
QUrl sitePageUrl(const QString &site, const QString &pathAndQuery);
