#pragma once

#include <QUrl>

class QWidget;

// The web panel, the maker's page in the main window, lives in a module of its own, loaded only
// when the machine is online, so an offline program never loads the browser engine's libraries.
using CreateWebPanelFunction = QWidget *(*)(QWidget *parent, const QUrl &page);
inline constexpr char CreateWebPanelSymbol[] = "zilCreateWebPanel";
