#include "Timetable.h"

#include "Schedule.h"
#include "TurkishText.h"

#include <algorithm>
#include <array>

namespace {
constexpr int daySeconds = 24 * 60 * 60;

// A bell before it belongs to a day; seconds from midnight, so a day that runs past midnight can
// be told rather than wrapped round.
struct Planned {
    int at = 0;
    QString name;
    QString music;
    int seconds = 0;
};

struct Refused {
    QString message;
};

QString clockText(int seconds) {
    const int minutes = seconds / 60;
    if (seconds >= daySeconds)
        return QStringLiteral("gece yarısından sonra (%1:%2)")
            .arg(minutes / 60, 2, 10, QLatin1Char('0'))
            .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm"));
}

class Maker {
public:
    explicit Maker(const TimetablePlan &plan)
        : m_plan(plan) {}

    // The bells of a day the plan names, in the order of the day; every day has the same.
    QList<Planned> day() {
        QList<Planned> bells;
        const int morningStart = m_plan.morning.firstStart.msecsSinceStartOfDay() / 1000;
        int lastEnd = block(m_plan.morning, QString(), bells);
        if (m_plan.afternoon) {
            const int start = m_plan.afternoon->firstStart.msecsSinceStartOfDay() / 1000;
            if (start < lastEnd)
                throw Refused{
                    QStringLiteral("Öğleden sonraki devre %1 başlıyor ama sabah "
                                   "devresi %2 bitiyor: devreler çakışıyor!")
                        .arg(withTurkishSuffix(clockText(start), TurkishCase::Locative),
                             withTurkishSuffix(clockText(lastEnd), TurkishCase::Locative))};
            lastEnd = block(*m_plan.afternoon, QStringLiteral("Öğleden Sonra "), bells);
        }
        // The ceremony is no row of the week: the day plan sounds it on the days the calendar
        // makes the first and last of a school week. Its times are checked here all the same, so
        // the school hears of a ceremony that would fall outside the day while it still types.
        if (m_plan.ceremony && morningStart - m_plan.ceremonyBeforeMinutes * 60 < 0)
            throw Refused{QStringLiteral("Açılış töreni ilk dersten %1 dakika önce, yani "
                                         "gece yarısından önce olurdu!")
                              .arg(m_plan.ceremonyBeforeMinutes)};
        if (m_plan.ceremony && lastEnd + m_plan.ceremonyAfterMinutes * 60 >= daySeconds)
            throw Refused{QStringLiteral("Kapanış töreni son dersten %1 dakika sonra, yani "
                                         "gece yarısından sonra olurdu!")
                              .arg(m_plan.ceremonyAfterMinutes)};
        std::stable_sort(bells.begin(), bells.end(),
                         [](const Planned &a, const Planned &b) { return a.at < b.at; });
        // The clock plays only one bell a second; the other would never be heard.
        for (qsizetype i = 1; i < bells.size(); ++i)
            if (bells[i].at == bells[i - 1].at)
                throw Refused{QStringLiteral("\"%1\" ile \"%2\" aynı anda (%3) çalardı: "
                                             "süreleri değiştirin ya da zillerden birini "
                                             "kapatın!")
                                  .arg(bells[i - 1].name, bells[i].name, clockText(bells[i].at))};
        return bells;
    }

    void checkRoles() const {
        if (m_plan.days.isEmpty())
            throw Refused{QStringLiteral("Zillerin yazılacağı en az bir gün seçin!")};
        if (!m_plan.student.enabled && !m_plan.teacher.enabled && !m_plan.exit.enabled)
            throw Refused{QStringLiteral("En az bir zil seçin: öğrenci, öğretmen ya da çıkış "
                                         "zili!")};
        for (const auto &[role, name] : roles())
            if (role->enabled && role->seconds < 0)
                throw Refused{QStringLiteral("%1 süresi eksi olamaz!").arg(name)};
        if (m_plan.ceremony &&
            (m_plan.ceremonyBeforeMinutes < 0 || m_plan.ceremonyAfterMinutes < 0))
            throw Refused{QStringLiteral("Tören zilinin dersten uzaklığı eksi olamaz!")};
    }

    QString missingMusic() const {
        for (const auto &[role, name] : roles())
            if (role->enabled && role->music.isEmpty())
                return QStringLiteral("%1 için bir müzik dosyası seçin!").arg(name);
        if (m_plan.ceremony && m_plan.ceremonyMusic.isEmpty())
            return QStringLiteral("Tören zili (İstiklal Marşı) için bir müzik dosyası seçin!");
        return {};
    }

private:
    std::array<std::pair<const BellRole *, QString>, 3> roles() const {
        return {{{&m_plan.student, QStringLiteral("Öğrenci zili")},
                 {&m_plan.teacher, QStringLiteral("Öğretmen zili")},
                 {&m_plan.exit, QStringLiteral("Çıkış zili")}}};
    }

    // The bells of one block into `bells`; the second its last lesson ends.
    int block(const LessonBlock &b, const QString &prefix, QList<Planned> &bells) const {
        const QString where =
            prefix.isEmpty() ? QString() : QStringLiteral(" (öğleden sonraki devre)");
        if (b.lessons < 1)
            throw Refused{QStringLiteral("Ders sayısı en az 1 olmalı%1!").arg(where)};
        if (b.lessonMinutes < 1)
            throw Refused{QStringLiteral("Ders süresi en az 1 dakika olmalı%1!").arg(where)};
        if (b.breakMinutes < 0 || b.otherBreakMinutes < 0 || b.lunchMinutes < 0)
            throw Refused{
                QStringLiteral("Teneffüs ve öğle arası süreleri eksi olamaz%1!").arg(where)};
        const auto checkAfter = [&](int after, const QString &what) {
            if (after != 0 && (after < 1 || after >= b.lessons))
                throw Refused{QStringLiteral("%1 %2. dersten sonra olamaz: günde %3 ders var%4!")
                                  .arg(what)
                                  .arg(after)
                                  .arg(b.lessons)
                                  .arg(where)};
        };
        checkAfter(b.lunchAfter, QStringLiteral("Öğle arası"));
        checkAfter(b.otherBreakAfter, QStringLiteral("Farklı teneffüs"));
        if (b.lunchAfter != 0 && b.lunchAfter == b.otherBreakAfter)
            throw Refused{QStringLiteral("Öğle arası ile farklı teneffüs aynı dersten sonra "
                                         "olamaz%1!")
                              .arg(where)};

        const auto gapAfter = [&](int lesson) {
            if (lesson == b.lunchAfter)
                return b.lunchMinutes;
            if (lesson == b.otherBreakAfter)
                return b.otherBreakMinutes;
            return b.breakMinutes;
        };
        if (m_plan.teacher.enabled) {
            const int after = m_plan.teacherAfterMinutes;
            if (after < 1)
                throw Refused{QStringLiteral("Öğretmen zili öğrenci zilinden en az 1 dakika "
                                             "sonra çalmalı!")};
            if (after >= b.lessonMinutes)
                throw Refused{QStringLiteral("Öğretmen zili öğrenci zilinden %1 dakika sonra, "
                                             "yani ders bittikten sonra çalardı: ders %2 dakika%3!")
                                  .arg(after)
                                  .arg(b.lessonMinutes)
                                  .arg(where)};
            for (int lesson = 1; lesson < b.lessons; ++lesson)
                if (after > gapAfter(lesson))
                    throw Refused{QStringLiteral("Öğretmen zili öğrenci zilinden %1 dakika sonra "
                                                 "çalıyor; bu, %2. dersten sonraki %3 dakikalık "
                                                 "teneffüsten uzun olamaz%4!")
                                      .arg(after)
                                      .arg(lesson)
                                      .arg(gapAfter(lesson))
                                      .arg(where)};
        }

        int start = b.firstStart.msecsSinceStartOfDay() / 1000;
        int end = start;
        for (int lesson = 1; lesson <= b.lessons; ++lesson) {
            end = start + b.lessonMinutes * 60;
            if (end >= daySeconds)
                throw Refused{QStringLiteral("Ders programı gece yarısını geçiyor: %1%2. ders "
                                             "%3 biterdi!")
                                  .arg(prefix)
                                  .arg(lesson)
                                  .arg(clockText(end))};
            const QString lessonName = QStringLiteral("%1%2. Ders ").arg(prefix).arg(lesson);
            if (m_plan.student.enabled)
                bells.append({start, lessonName + QStringLiteral("Öğrenci Zili"),
                              m_plan.student.music, m_plan.student.seconds});
            if (m_plan.teacher.enabled)
                bells.append({start + m_plan.teacherAfterMinutes * 60,
                              lessonName + QStringLiteral("Öğretmen Zili"), m_plan.teacher.music,
                              m_plan.teacher.seconds});
            if (m_plan.exit.enabled)
                bells.append({end, lessonName + QStringLiteral("Çıkış Zili"), m_plan.exit.music,
                              m_plan.exit.seconds});
            start = end + gapAfter(lesson) * 60;
        }
        return end;
    }

    const TimetablePlan &m_plan;
};
} // namespace

Timetable makeTimetable(const TimetablePlan &plan) {
    Timetable result;
    try {
        Maker maker(plan);
        maker.checkRoles();
        QList<int> days = plan.days;
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end()), days.end());
        const QList<Planned> bells = maker.day();
        for (int gunId : std::as_const(days)) {
            if (gunId < 0 || gunId > 6)
                throw Refused{QStringLiteral("Geçersiz gün: %1").arg(gunId)};
            for (const Planned &p : bells)
                result.bells.append({0, gunId, p.name, StoredTimeForm(QTime(0, 0).addSecs(p.at)),
                                     p.music, p.seconds});
        }
        result.refusal = maker.missingMusic();
    } catch (const Refused &refused) {
        result.bells.clear();
        result.refusal = refused.message;
    }
    return result;
}
