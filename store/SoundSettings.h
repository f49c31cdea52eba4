#pragma once

#include <QString>

#include <array>

class Calendar;

// How loud the school's sounds play and where they go, kept in the schedule's settings: a master
// volume, one per kind of sound, a ceiling no sound goes above, and an output per kind. Volumes
// are whole percents; an absent or unreadable value is 100 %, an absent output the program's own.
class SoundSettings {
public:
    // The four groups a school sets a level and an output for ("Zil", "Anons", "Müzik",
    // "Alarm"); playback's SoundRules says which group each sound plays in.
    enum class Kind { Bell, Announcement, Music, Alarm };
    static constexpr int KindCount = 4;

    struct Values {
        int master = 100;
        std::array<int, KindCount> kind{100, 100, 100, 100};
        int ceiling = 100;
        std::array<QString, KindCount> output;

        // master × kind, never above the ceiling: from 0 to 1.
        double effective(Kind k) const;
        QString outputOf(Kind k) const { return output[size_t(k)]; }
        bool operator==(const Values &) const = default;
    };

    // `calendar` must outlive the settings.
    explicit SoundSettings(Calendar &calendar)
        : m_calendar(calendar) {}

    // Throws ZilError when the schedule cannot be read.
    Values read();
    // Refused with ERefused (a Turkish reason) when a volume is outside 0–100, nothing written
    // then; throws ZilError when the schedule cannot be written.
    void write(const Values &values);

private:
    Calendar &m_calendar;
};
