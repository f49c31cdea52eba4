#include "ClockWatch.h"

ClockWatch::ClockWatch(ClockSync &sync, std::function<void(const QString &)> log, QObject *parent)
    : QObject(parent)
    , m_sync(sync)
    , m_log(std::move(log)) {
    connect(&m_sync, &ClockSync::changed, this, &ClockWatch::answered);
}

QString ClockWatch::lineFor(ClockSync::State state, const QString &source, bool toldBefore) {
    switch (state) {
    case ClockSync::State::NotSynchronised:
        return QStringLiteral("Bilgisayarın saati ağdan ayarlanmıyor (%1): ziller duvardaki "
                              "saatten kayabilir. Otomatik saat ayarını açın (örneğin "
                              "'timedatectl set-ntp true').")
            .arg(source);
    case ClockSync::State::Unknown:
        return QStringLiteral("Bilgisayarın saatinin ağdan ayarlanıp ayarlanmadığı öğrenilemedi "
                              "(timedatectl ve chronyc yanıt vermedi): zilleri duvardaki saatle "
                              "karşılaştırın.");
    case ClockSync::State::Synchronised:
        // Said only after a line that it was not: a clock right from the start needs no word.
        if (toldBefore)
            return QStringLiteral("Bilgisayarın saati yeniden ağdan ayarlanıyor (%1).").arg(source);
        break;
    case ClockSync::State::Unasked:
        break;
    }
    return {};
}

void ClockWatch::answered() {
    const QString line = lineFor(m_sync.state(), m_sync.source(), m_told);
    m_told = m_sync.state() == ClockSync::State::NotSynchronised ||
             m_sync.state() == ClockSync::State::Unknown;
    if (!line.isEmpty() && m_log)
        m_log(line);
}
