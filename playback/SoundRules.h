#pragma once

#include "SoundSettings.h"

#include <QString>

#include <array>
#include <optional>

struct PlannedSound;

// Every kind of sound the program makes, strongest first.
enum class SoundKind {
    Alarm,        // "Acil durum": held until stopped
    Anthem,       // the İstiklal Marşı of a flag ceremony or of 10 Kasım, played whole
    Moment,       // a bell of one date: the school's one-off bells, 10 Kasım's siren
    Bell,         // a weekday's bell, or one rung by hand now
    Chime,        // the chime two seconds before an announcement
    Announcement, // planned, or "Şimdi anons et"
    BreakMusic,   // "Teneffüs müziği"
    HandMusic,    // the player bar and "Dinle"
};

// How a kind of sound plays: how loud (0 silent, 1 as recorded) and through which output (the
// sound server's name; empty: the program's own).
struct SoundStyle {
    double volume = 1.0;
    QString output;
};

// The rules of the program's sounds, in one table: what happens when a sound falls due while
// another sounds, how loud each kind plays and where. Every road to the loudspeaker asks here;
// the README's table says the same and a test holds the two together.
class SoundRules {
public:
    static constexpr int KindCount = 8;

    // What becomes of a sound that falls due while another sounds.
    enum class Verdict {
        Cut,     // it starts, and the one that sounds stops
        Wait,    // it starts once the one that sounds has ended
        Refused, // it does not sound: recorded as given way, or the asker is told
    };

    struct Rule {
        SoundKind kind;
        // Its name in the README's table and in what the user is told.
        const char *title;
        // Whose level and output it plays at.
        SoundSettings::Kind level;
        // Whether the program's own tone rings in place of its music when that cannot play: a
        // bell must be heard, a broken announcement says nothing at all.
        bool toneInPlace;
        // What it meets, by the kind that sounds, in SoundKind's order.
        std::array<Verdict, KindCount> whileSounds;
    };

    static const Rule &rule(SoundKind kind);
    static const std::array<Rule, KindCount> &table();

    // May `coming` start while `sounding` sounds, and what becomes of it; nothing sounding: Cut.
    static Verdict mayStart(SoundKind coming, std::optional<SoundKind> sounding);
    // The level and output `kind` plays at with the school's `values`: its group's level times
    // the main level, never above the ceiling.
    static SoundStyle style(SoundKind kind, const SoundSettings::Values &values);
    static QString title(SoundKind kind) { return QString::fromUtf8(rule(kind).title); }
    // What a sound of the day plan is.
    static SoundKind kindOf(const PlannedSound &sound);
};
