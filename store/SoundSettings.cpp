#include "SoundSettings.h"

#include "Calendar.h"

#include <algorithm>

namespace {
const QString anaKey = QStringLiteral("Ses:Ana");
const QString tavanKey = QStringLiteral("Ses:Tavan");
const std::array<QString, SoundSettings::KindCount> volumeKeys{
    QStringLiteral("Ses:Zil"), QStringLiteral("Ses:Anons"), QStringLiteral("Ses:Muzik"),
    QStringLiteral("Ses:Alarm")};
const std::array<QString, SoundSettings::KindCount> outputKeys{
    QStringLiteral("Cikis:Zil"), QStringLiteral("Cikis:Anons"), QStringLiteral("Cikis:Muzik"),
    QStringLiteral("Cikis:Alarm")};

// A value another program (or a hand) wrote that is no percent plays at full level rather than
// not at all: a bell kept silent by a typo would be worse.
int percentOf(const QString &text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value >= 0 && value <= 100 ? value : 100;
}

// Absent means 100 %, so the full level is not written.
QString textOf(int percent) {
    return percent == 100 ? QString() : QString::number(percent);
}
} // namespace

double SoundSettings::Values::effective(Kind k) const {
    return std::min(master * kind[size_t(k)] / 10000.0, ceiling / 100.0);
}

SoundSettings::Values SoundSettings::read() {
    Values v;
    v.master = percentOf(m_calendar.namedSetting(anaKey));
    v.ceiling = percentOf(m_calendar.namedSetting(tavanKey));
    for (size_t i = 0; i < KindCount; ++i) {
        v.kind[i] = percentOf(m_calendar.namedSetting(volumeKeys[i]));
        v.output[i] = m_calendar.namedSetting(outputKeys[i]).trimmed();
    }
    return v;
}

void SoundSettings::write(const Values &values) {
    const auto bad = [](int percent) { return percent < 0 || percent > 100; };
    if (bad(values.master) || bad(values.ceiling) ||
        std::any_of(values.kind.cbegin(), values.kind.cend(), bad))
        throw ERefused(QStringLiteral("Ses düzeyleri %0 ile %100 arasında olmalı."));
    QList<QPair<QString, QString>> written{{anaKey, textOf(values.master)},
                                           {tavanKey, textOf(values.ceiling)}};
    for (size_t i = 0; i < KindCount; ++i) {
        written.append({volumeKeys[i], textOf(values.kind[i])});
        written.append({outputKeys[i], values.output[i].trimmed()});
    }
    m_calendar.writeNamedSettings(written);
}
