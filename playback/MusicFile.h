#pragma once

#include <QString>

// A bell's music as the player may open it. The name a bell keeps is a file in Muzikler; what it
// leads to, symlinks followed, must be a readable plain file inside that folder. Anything else
// (a path out of the folder, a FIFO or a device that would hold the player up, a folder) is
// refused at once with its reason, so the bell rings the program's own tone instead. A name that
// leads nowhere is left to the player, which tells it as any file it cannot open.
struct MusicFile {
    QString path;    // the file to open; empty when refused
    QString refusal; // why it may not be played, in the user's words

    static MusicFile of(const QString &name);
    bool ok() const { return refusal.isEmpty(); }
};
