#include "LayerBellPlayer.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {
QString nothingPlayed() {
    return QStringLiteral("çalınan bir ses yok");
}
} // namespace

LayerBellPlayer::LayerBellPlayer(MediaLayer &layer, QObject *parent)
    : BellPlayer(parent)
    , m_layer(layer)
    , m_endedWhy(nothingPlayed()) {
    m_lengthTimer.setSingleShot(true);
    m_lengthTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lengthTimer, &QTimer::timeout, this, &LayerBellPlayer::checkLength);
    // Queued, so a notice never runs inside the request that caused it, whatever the layer does.
    connect(&m_layer, &MediaLayer::notice, this, &LayerBellPlayer::handleNotice,
            Qt::QueuedConnection);
}

LayerBellPlayer::~LayerBellPlayer() {
    disconnect(&m_layer, nullptr, this, nullptr);
    if (m_device != 0)
        m_layer.close(m_device);
}

void LayerBellPlayer::prepare(const QString &file) {
    m_layer.prepare(file);
}

std::optional<QString> LayerBellPlayer::play(const QString &file, int lengthSeconds,
                                             SoundKind kind) {
    Q_UNUSED(kind);
    // The sound it replaces goes after the new one has started: tearing an output down while
    // another starts would make the new one wait for it.
    const quint16 replaced = std::exchange(m_device, 0);
    m_lengthTimer.stop();
    m_fadeEnd.reset();
    MediaOpenRequest request;
    request.element = file;
    // Staff hear a bell begin at its second, whatever silence its recording opens with.
    request.fromFirstSound = true;
    quint16 device = 0;
    std::optional<QString> failure;
    if (const quint32 opened = m_layer.open(request, device); opened != 0) {
        failure = errorText(opened);
    } else if (const quint32 played = m_layer.play(device, std::nullopt, true); played != 0) {
        failure = errorText(played);
        m_layer.close(device);
    } else {
        m_device = device;
        m_file = file;
        m_lengthSeconds = std::max(lengthSeconds, 0);
    }
    // A bell that cannot start still silences what it was to replace.
    if (replaced != 0) {
        m_layer.stop(replaced);
        m_layer.close(replaced);
    }
    m_endedPosition = 0;
    m_endedHeard = MediaHeard::No;
    m_endedWhy = failure.value_or(QString());
    if (failure)
        return failure;
    emit started();
    checkLength();
    return std::nullopt;
}

void LayerBellPlayer::fadeOut(int ms) {
    if (m_device == 0 || m_fadeEnd)
        return;
    if (ms <= 0 || m_layer.setVolume(m_device, 0.0, ms) != 0) {
        stop();
        return;
    }
    // Ended by the sound's own position, as its length is: the glide runs in the sound's time.
    m_fadeEnd = position() + ms;
    checkLength();
}

void LayerBellPlayer::stop() {
    if (m_device == 0)
        return;
    end(true);
    emit finished();
}

qint64 LayerBellPlayer::position() {
    if (m_device == 0)
        return m_endedPosition;
    quint32 value = 0;
    return m_layer.status(m_device, MediaStatusItem::Position, value) == 0 ? qint64(value) : 0;
}

bool LayerBellPlayer::playing() {
    quint32 mode = 0;
    return m_device != 0 && m_layer.status(m_device, MediaStatusItem::Mode, mode) == 0 &&
           mode == MCI_MODE_PLAY;
}

MediaHeard LayerBellPlayer::heard(QString &why) {
    if (m_device == 0) {
        if (m_endedHeard == MediaHeard::No)
            why = m_endedWhy;
        return m_endedHeard;
    }
    quint32 code = 0;
    const MediaHeard answer = m_layer.heard(m_device, code);
    if (answer == MediaHeard::No)
        why = errorText(code);
    return answer;
}

void LayerBellPlayer::checkLength() {
    m_lengthTimer.stop();
    if (m_device == 0 || (m_lengthSeconds == 0 && !m_fadeEnd))
        return;
    // Measured by the sound's own position, so a sound held up is not cut short.
    const qint64 at = position();
    qint64 left = m_lengthSeconds == 0 ? std::numeric_limits<qint64>::max()
                                       : qint64(m_lengthSeconds) * 1000 - at;
    if (m_fadeEnd)
        left = std::min(left, *m_fadeEnd - at);
    if (left > StopSlackMs) {
        // Looked at again each second, and at the moment it should end within the last one.
        m_lengthTimer.start(int(std::min<qint64>(left, 1000)));
        return;
    }
    end(true);
    emit finished();
}

void LayerBellPlayer::handleNotice(quint16 device, quint32 code) {
    if (device != m_device || device == 0)
        return;
    if (code == MCI_NOTIFY_SUCCESSFUL) {
        end(false);
        emit finished();
    } else if (code == MCI_NOTIFY_FAILURE) {
        QString why;
        if (heard(why) != MediaHeard::No)
            why = QStringLiteral("Müzik çalınamadı");
        end(false);
        m_endedHeard = MediaHeard::No;
        m_endedWhy = why;
        emit failed(why);
    }
}

void LayerBellPlayer::end(bool stopFirst) {
    m_lengthTimer.stop();
    m_fadeEnd.reset();
    m_endedPosition = position();
    m_endedWhy.clear();
    m_endedHeard = heard(m_endedWhy);
    const quint16 device = std::exchange(m_device, 0);
    if (stopFirst)
        m_layer.stop(device);
    m_layer.close(device);
}

QString LayerBellPlayer::errorText(quint32 code) const {
    return m_layer.errorText(code).value_or(
        QStringLiteral("Bilinmeyen ses hatası (kod %1)").arg(code));
}
