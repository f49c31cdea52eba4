#include "DayPlan.h"

#include "Schedule.h"
#include "ZilError.h"

#include <algorithm>

DayPlan::DayPlan(BellStore &store, Calendar *calendar, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_calendar(calendar) {}

void DayPlan::addOneOffs(const QDate &date, const CalendarDay &day, QList<PlannedSound> &sounds) {
    const bool hasLessons = std::any_of(sounds.begin(), sounds.end(),
                                        [](const PlannedSound &s) { return s.at.isValid(); });
    QList<Bell> oneOffs = m_store.oneOffBells(date, date);
    // 10 Kasım, 09:05: the whole country stands still for two minutes. Sounded on a school day
    // (one that has bells of its own), unless the school switched it off.
    const auto switchedOn = [this] {
        try {
            return m_calendar->isEnabled(QString::fromLatin1(Calendar::SaygiDurusu));
        } catch (const ZilError &) {
            return true; // the calendar's failure is told with the day's verdict
        }
    };
    if (m_calendar && !m_sirenMusic.isEmpty() && date.month() == 11 && date.day() == 10 &&
        hasLessons && switchedOn()) {
        Bell siren;
        siren.id = -2 * Bell::OneOffIds;
        siren.date = date;
        siren.gunId = day.gunId;
        siren.name = QStringLiteral("10 Kasım saygı duruşu");
        siren.start = QStringLiteral("09:05:00");
        siren.music = m_sirenMusic;
        siren.sure = SaygiDurusuSeconds;
        oneOffs.append(siren);
        QString marsi;
        try {
            marsi = m_calendar->istiklalMarsi();
        } catch (const ZilError &) {
            // The siren alone then.
        }
        if (!marsi.isEmpty()) {
            Bell anthem = siren;
            anthem.id = siren.id - 1;
            anthem.name = QStringLiteral("İstiklal Marşı (10 Kasım)");
            const QTime at = QTime(9, 5).addSecs(SaygiDurusuSeconds);
            anthem.start = StoredTimeForm(at);
            anthem.music = marsi;
            anthem.sure = 0;
            sounds.append(
                {PlannedSound::Kind::Ceremony, at, anthem, day.rings(at) ? QString() : day.reason});
        }
    }
    // Which of them sounds when they meet the week's bells is decided as they fall due, by
    // what really sounds then.
    for (const Bell &bell : std::as_const(oneOffs)) {
        const QTime at = bell.startTime();
        sounds.append({PlannedSound::Kind::OneOff, at, bell,
                       !at.isValid() || day.rings(at) ? QString() : day.reason});
    }
}

void DayPlan::addAnnouncements(const QDate &date, const CalendarDay &day, int programme,
                               QList<PlannedSound> &sounds) {
    QList<PlannedSound> added;
    for (const Announcement &a : m_store.announcementsOn(date, programme, day.gunId)) {
        Bell bell;
        bell.id = Bell::announcementId(a.id);
        bell.date = date;
        bell.gunId = day.gunId;
        bell.programme = a.programme;
        bell.name = QStringLiteral("Anons: %1").arg(a.name);
        bell.start = StoredTimeForm(a.at);
        bell.music = a.sound;
        bell.sure = a.sure;
        const bool hasChime = !m_chimeMusic.isEmpty() && a.at.isValid() &&
                              a.at.msecsSinceStartOfDay() / 1000 >= ChimeSeconds;
        const QTime from = hasChime ? a.at.addSecs(-ChimeSeconds) : a.at;
        PlannedSound announcement{PlannedSound::Kind::Announcement, a.at, bell,
                                  !a.at.isValid() || day.rings(a.at) ? QString() : day.reason};
        if (hasChime && announcement.sounds()) {
            Bell chime = bell;
            chime.id = Bell::chimeId(a.id);
            chime.name = QStringLiteral("Anons çanı: %1").arg(a.name);
            chime.start = StoredTimeForm(from);
            chime.music = m_chimeMusic;
            chime.sure = ChimeSeconds;
            added.append({PlannedSound::Kind::Announcement, from, chime, {}});
        }
        added.append(announcement);
    }
    sounds.append(added);
}

bool DayPlan::schoolDay(const QDate &date, bool halfDayCounts) {
    CalendarDay day;
    day.gunId = GunIDOf(date);
    try {
        day = m_calendar->day(date);
    } catch (const ZilError &) {
        // Unknown: taken for a school day, so that no ceremony is added on a guess.
        return true;
    }
    using Kind = CalendarDay::Kind;
    if (day.kind == Kind::Holiday || day.kind == Kind::OutsideYear ||
        (day.kind == Kind::HalfDay && !halfDayCounts))
        return false;
    const QList<Bell> bells = m_store.dayBells(day.gunId, ringingProgramme(day));
    return std::any_of(bells.begin(), bells.end(), [&](const Bell &bell) {
        const QTime at = bell.startTime();
        return at.isValid() && day.rings(at);
    });
}

void DayPlan::addCeremonies(const QDate &date, const CalendarDay &day, int programme,
                            QList<PlannedSound> &sounds) {
    if (!m_calendar)
        return;
    Calendar::CeremonyRule rule;
    QString anthem;
    try {
        rule = m_calendar->ceremony(programme);
        // The anthem is the school's own recording; without one there is no ceremony to sound.
        anthem = rule.on ? m_calendar->istiklalMarsi() : QString();
    } catch (const ZilError &) {
        // The calendar's failure is told with the day's verdict; the lessons ring all the same.
        return;
    }
    if (anthem.isEmpty())
        return;
    QTime first;
    QTime last;
    for (const PlannedSound &sound : std::as_const(sounds))
        if (sound.sounds()) {
            if (!first.isValid() || sound.at < first)
                first = sound.at;
            if (!last.isValid() || sound.at > last)
                last = sound.at;
        }
    if (!first.isValid())
        return;
    const auto ceremony = [&](int idOffset, const QString &when, int atSeconds) {
        if (atSeconds < 0 || atSeconds >= 24 * 60 * 60)
            return;
        Bell bell;
        bell.id = -2 * Bell::OneOffIds - idOffset;
        bell.date = date;
        bell.gunId = day.gunId;
        bell.programme = programme;
        bell.name = QStringLiteral("Tören: İstiklal Marşı (%1)").arg(when);
        const QTime at = QTime(0, 0).addSecs(atSeconds);
        bell.start = StoredTimeForm(at);
        bell.music = anthem;
        bell.sure = 0;
        // Said by the rule itself: on a half day it follows the last bell that still rings.
        sounds.append({PlannedSound::Kind::Ceremony, at, bell, {}});
    };
    if (!schoolDay(date.addDays(-1), false))
        ceremony(10, QStringLiteral("açılış"),
                 first.msecsSinceStartOfDay() / 1000 - rule.beforeMinutes * 60);
    if (day.kind == CalendarDay::Kind::HalfDay || !schoolDay(date.addDays(1), true))
        ceremony(11, QStringLiteral("kapanış"),
                 last.msecsSinceStartOfDay() / 1000 + rule.afterMinutes * 60);
}

int DayPlan::ringingProgramme(const CalendarDay &day) {
    if (day.programme == Programme::Normal)
        return Programme::Normal;
    // A programme deleted while dates still name it: Normal's bells rather than none.
    const QList<Programme> all = m_store.programmes();
    const bool exists = std::any_of(all.begin(), all.end(),
                                    [&](const Programme &p) { return p.id == day.programme; });
    return exists ? day.programme : Programme::Normal;
}

QList<PlannedSound> DayPlan::soundsOf(const QDate &date, const CalendarDay &day, int programme) {
    const QList<Bell> bells = m_store.dayBells(day.gunId, programme);
    QList<PlannedSound> sounds;
    sounds.reserve(bells.size());
    for (const Bell &bell : bells) {
        const QTime at = bell.startTime();
        sounds.append({PlannedSound::Kind::Bell, at, bell,
                       !at.isValid() || day.rings(at) ? QString() : day.reason});
    }
    addCeremonies(date, day, programme, sounds);
    addOneOffs(date, day, sounds);
    addAnnouncements(date, day, programme, sounds);
    std::stable_sort(sounds.begin(), sounds.end(),
                     [](const PlannedSound &a, const PlannedSound &b) {
                         if (a.at.isValid() != b.at.isValid())
                             return !a.at.isValid();
                         return a.at < b.at;
                     });
    return sounds;
}

bool DayPlan::update(const QDate &date) {
    // Edits, deletes, another program's writes, the calendar's and a restored file all show
    // here, so they take effect at the next update.
    const BellStore::ChangeStamp now = m_store.changes();
    if (date == m_date && now == m_seen && !m_calendarFailing)
        return false;

    // What the calendar says first: when it cannot answer, what it last said of this date is
    // better than a guess (most often the file is only busy), and a new date rings as an
    // ordinary day rather than not at all: a school day without bells is the greater harm.
    CalendarDay day;
    day.gunId = GunIDOf(date);
    bool calendarFailed = false;
    if (m_calendar) {
        try {
            day = m_calendar->day(date);
        } catch (const ZilError &error) {
            calendarFailed = true;
            if (date == m_date) {
                day = m_day;
            } else if (!m_calendarTold) {
                m_calendarTold = true;
                m_calendarProblem = QStringLiteral("Okul takvimi okunamadı, bugünün zilleri "
                                                   "olağan gün gibi çalacak: %1")
                                        .arg(error.message());
            }
        }
    }
    // Read whole before anything held is replaced, so a read that fails half way leaves the
    // plan as it was.
    const int programme = ringingProgramme(day);
    QList<PlannedSound> sounds = soundsOf(date, day, programme);
    const bool troubled = m_store.troubleOn(date);
    m_date = date;
    m_day = day;
    m_programme = programme;
    m_sounds = std::move(sounds);
    m_troubled = troubled;
    m_seen = now;
    m_calendarFailing = calendarFailed;
    if (!calendarFailed)
        m_calendarTold = false;
    ++m_generation;
    emit changed();
    return true;
}

void DayPlan::recorded(const BellEvent &event, bool wasCurrent) {
    if (!wasCurrent)
        return;
    m_seen = m_store.changes();
    const bool trouble =
        event.outcome == BellOutcome::Failed || event.outcome == BellOutcome::Missed;
    if (event.date == m_date && trouble && !m_troubled) {
        m_troubled = true;
        emit changed();
    }
}

const PlannedSound *DayPlan::announcementAfter(const Bell &chime) const {
    if (!chime.isChime())
        return nullptr;
    const int id = Bell::announcementId(Bell::chimeId(0) - chime.id);
    for (const PlannedSound &sound : m_sounds)
        if (sound.bell.id == id)
            return &sound;
    return nullptr;
}

const PlannedSound *DayPlan::next(const QTime &time) const {
    for (const PlannedSound &sound : m_sounds)
        if (sound.sounds() && sound.at > time)
            return &sound;
    return nullptr;
}

QString DayPlan::nextLine(const QTime &time) const {
    const PlannedSound *sound = next(time);
    return sound ? QStringLiteral("Sıradaki zil: %1 %2").arg(TimeText(sound->at), sound->bell.name)
                 : QStringLiteral("Sıradaki zil: bugün başka zil yok");
}

std::optional<std::pair<QDateTime, PlannedSound>> DayPlan::nextAfter(const QDateTime &moment,
                                                                     int withinSecs) {
    const auto within = [&](const QDateTime &at) { return moment.secsTo(at) <= withinSecs; };
    if (moment.date() != m_date)
        return std::nullopt;
    if (const PlannedSound *sound = next(moment.time())) {
        const QDateTime at(m_date, sound->at);
        if (within(at))
            return std::pair{at, *sound};
        return std::nullopt;
    }
    // Only near midnight is the next day worth reading ahead.
    const QDate tomorrow = m_date.addDays(1);
    if (!within(QDateTime(tomorrow, QTime(0, 0))))
        return std::nullopt;
    try {
        const BellStore::ChangeStamp now = m_store.changes();
        if (m_aheadDate != tomorrow || !(now == m_aheadSeen)) {
            CalendarDay day;
            day.gunId = GunIDOf(tomorrow);
            if (m_calendar)
                day = m_calendar->day(tomorrow);
            m_ahead = soundsOf(tomorrow, day, ringingProgramme(day));
            m_aheadDate = tomorrow;
            m_aheadSeen = now;
        }
    } catch (const ZilError &) {
        // Only a preparation: the bell itself is read and rung at its second.
        m_aheadDate = {};
        return std::nullopt;
    }
    const auto first = std::find_if(m_ahead.cbegin(), m_ahead.cend(),
                                    [](const PlannedSound &sound) { return sound.sounds(); });
    if (first == m_ahead.cend())
        return std::nullopt;
    const QDateTime at(tomorrow, first->at);
    if (!within(at))
        return std::nullopt;
    return std::pair{at, *first};
}
