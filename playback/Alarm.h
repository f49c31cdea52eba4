#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class BellClock;
class BellPlayer;

// The alarm ("Acil durum"): sounded by hand at once, it holds the loudspeakers until someone
// stops it. Its sound plays again from the start each time it ends, for as long as it takes;
// meanwhile every bell, announcement and music falls silent and the record says they gave way.
class Alarm : public QObject {
    Q_OBJECT
public:
    enum class Kind { Yangin, Deprem, Tahliye };
    static constexpr Kind Kinds[] = {Kind::Yangin, Kind::Deprem, Kind::Tahliye};

    // `clock` records and holds the bells and `player` is the bell player it sounds through;
    // both must outlive the alarm.
    Alarm(BellClock &clock, BellPlayer &player, std::function<void(const QString &)> report = {},
          QObject *parent = nullptr);

    // "Yangın", "Deprem tatbikatı", "Tahliye".
    static QString title(Kind kind);
    // The music an alarm of `kind` sounds: one of the program's own sounds, which a school
    // replaces with its own recording by putting a file of the same name in its place.
    static QString music(Kind kind);
    // Why the bells are held while an alarm sounds, as the record gives it.
    static QString holdReason();

    // Sounds `kind` at once, in place of whatever sounds, and records it; another kind that was
    // sounding gives way to it.
    void sound(Kind kind);
    // "Alarmı durdur"; false when none sounded.
    bool stop();
    std::optional<Kind> sounding() const { return m_kind; }

signals:
    // An alarm began or ended.
    void changed();

private:
    // Plays the alarm's sound again from its start: its end came, or it could not play.
    void again();

    BellClock &m_clock;
    BellPlayer &m_player;
    std::function<void(const QString &)> m_report;
    std::optional<Kind> m_kind;
    QTimer m_retry;
    bool m_told = false; // this alarm's sound failed and that was told: once an alarm
};
