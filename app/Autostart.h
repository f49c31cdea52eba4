#pragma once

#include <QString>

// The user's start at login: an XDG autostart entry (the only file the program writes outside
// its folder) that starts the window program minimised.
namespace Autostart {
// The argument the entry starts the program with.
inline constexpr char MinimisedArgument[] = "--kucultulmus";

// ~/.config/autostart/selvanor-zil.desktop, or the same under XDG_CONFIG_HOME.
QString entryFile();
bool isOn();
// Writes the entry, starting `program`, or removes it. Throws ZilError when it cannot.
void set(bool on, const QString &program);
} // namespace Autostart
