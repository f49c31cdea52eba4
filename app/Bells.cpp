#include "Bells.h"

#include "GstMediaLayer.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ZilError.h"

namespace {
std::unique_ptr<MediaLayer> orProgramOutput(std::unique_ptr<MediaLayer> layer) {
    if (!layer)
        layer = std::make_unique<GstMediaLayer>(audioSinkDescription());
    return layer;
}
} // namespace

Bells::Bells(std::function<void(const QString &message)> report, std::unique_ptr<MediaLayer> layer)
    : m_report(std::move(report))
    , m_dayCheck(m_store, m_report)
    , m_player(orProgramOutput(std::move(layer)))
    , m_clock(m_store, m_bellPlayer, m_report) {
    // A bell wins over music someone plays with the player bar.
    QObject::connect(&m_bellPlayer, &BellPlayer::started, &m_bellPlayer, [this] { stopDevice(); });
    m_clock.setPrepareAhead(true);
    m_clock.setCalendar(&m_calendar);
    QObject::connect(&m_clock, &BellClock::dayBegan, &m_dayCheck, &DayCheck::check);
}

void Bells::start() {
    m_clock.Start();
    try {
        m_store.open(DatabaseFile());
    } catch (const ZilError &error) {
        m_clock.StoreFailureReported();
        if (m_report)
            m_report(error.message());
    }
}

bool Bells::stopMusic() {
    const bool bell = m_bellPlayer.playing();
    m_bellPlayer.stop();
    return stopDevice() || bell;
}

bool Bells::stopDevice() {
    if (!m_player.IsOpen())
        return false;
    try {
        m_player.Stop();
        m_player.Close();
    } catch (const ZilError &) {
        // Closed meanwhile: nothing plays.
    }
    return true;
}
