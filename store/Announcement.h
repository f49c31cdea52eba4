#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// An announcement ("Anons"): a sound played at a second like a bell, either the school's own
// recording or a Turkish text synthesised into a WAV when it was saved. It sounds every chosen
// weekday of a programme, or on one date only.
struct Announcement {
    int id = 0;        // AnonsID; not used when adding
    QString name;      // Ad
    QString text;      // Metin: what was synthesised; empty for a recording
    QString sound;     // Dosya: a file in Muzikler, as a bell's music is named
    int programme = 0; // ProgramID, Programme::Normal or the school's; unused with a date
    int gunId = 0;     // 0 = Monday .. 6 = Sunday; unused with a date
    QDate date;        // Tarih: valid for an announcement of one date only
    QTime at;          // Saat, to the second; invalid when the stored text is not a time
    int sure = 0;      // seconds to play; 0 = the whole file

    bool spoken() const { return !text.isEmpty(); }
};
