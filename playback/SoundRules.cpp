#include "SoundRules.h"

#include "DayPlan.h"

namespace {
using V = SoundRules::Verdict;
using L = SoundSettings::Kind;
constexpr V C = V::Cut;
constexpr V W = V::Wait;
constexpr V R = V::Refused;

// Rows: the sound that falls due; columns: the one that sounds, in SoundKind's order (Alarm,
// Anthem, Moment, Bell, Chime, Announcement, BreakMusic, HandMusic).
// The anthem and the moments of a date are never cut by a lesson bell or an announcement; an
// announcement never cuts a bell; music waits for every voice and bell, and music played by
// hand gives way to everything.
constexpr std::array<SoundRules::Rule, SoundRules::KindCount> rules{{
    {SoundKind::Alarm, "Acil durum alarmı", L::Alarm, true, {C, C, C, C, C, C, C, C}},
    {SoundKind::Anthem, "İstiklal Marşı", L::Bell, true, {R, C, C, C, C, C, C, C}},
    {SoundKind::Moment, "Tek seferlik zil", L::Bell, true, {R, R, C, C, C, C, C, C}},
    {SoundKind::Bell, "Zil", L::Bell, true, {R, R, R, C, C, C, C, C}},
    {SoundKind::Chime, "Anons çanı", L::Announcement, false, {R, R, R, R, C, C, C, C}},
    {SoundKind::Announcement, "Anons", L::Announcement, false, {R, R, R, R, C, C, C, C}},
    {SoundKind::BreakMusic, "Teneffüs müziği", L::Music, false, {W, W, W, W, W, W, C, C}},
    {SoundKind::HandMusic, "Elle çalınan müzik", L::Music, false, {R, R, R, R, R, R, R, C}},
}};

// rule() finds a kind's row by its place.
constexpr bool inKindOrder() {
    for (size_t i = 0; i < rules.size(); ++i)
        if (size_t(rules[i].kind) != i)
            return false;
    return true;
}
static_assert(inKindOrder());
} // namespace

const std::array<SoundRules::Rule, SoundRules::KindCount> &SoundRules::table() {
    return rules;
}

const SoundRules::Rule &SoundRules::rule(SoundKind kind) {
    return rules[size_t(kind)];
}

SoundRules::Verdict SoundRules::mayStart(SoundKind coming, std::optional<SoundKind> sounding) {
    return sounding ? rule(coming).whileSounds[size_t(*sounding)] : Verdict::Cut;
}

SoundStyle SoundRules::style(SoundKind kind, const SoundSettings::Values &values) {
    const L level = rule(kind).level;
    return {values.effective(level), values.outputOf(level)};
}

SoundKind SoundRules::kindOf(const PlannedSound &sound) {
    switch (sound.kind) {
    case PlannedSound::Kind::Bell:
        return SoundKind::Bell;
    case PlannedSound::Kind::OneOff:
        return SoundKind::Moment;
    case PlannedSound::Kind::Ceremony:
        return SoundKind::Anthem;
    case PlannedSound::Kind::Announcement:
        return sound.bell.isChime() ? SoundKind::Chime : SoundKind::Announcement;
    }
    return SoundKind::Bell;
}
