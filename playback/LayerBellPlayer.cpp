#include "LayerBellPlayer.h"

#include <algorithm>
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
    const SoundStyle style = m_style ? m_style(kind) : SoundStyle{};
    m_kind = kind;
    // The sound it replaces goes after the new one has started: tearing an output down while
    // another starts would make the new one wait for it.
    const quint16 replaced = std::exchange(m_device, 0);
    m_lengthTimer.stop();
    MediaOpenRequest request;
    request.element = file;
    // Staff hear a bell begin at its second, whatever silence its recording opens with.
    request.fromFirstSound = true;
    request.output = style.output;
    quint16 device = 0;
    std::optional<QString> failure;
    if (const quint32 opened = m_layer.open(request, device); opened != 0) {
        failure = errorText(opened);
    } else if (const quint32 played = playAt(device, style); played != 0) {
        failure = errorText(played);
        m_layer.close(device);
    } else {
        m_device = device;
        m_file = file;
        m_endMs = qint64(std::max(lengthSeconds, 0)) * 1000;
        m_fadeMs = std::min<qint64>(FadeMs, m_endMs / 4);
        m_fading = false;
    }
    // A bell that cannot start still silences what it was to replace.
    if (replaced != 0) {
        m_layer.stop(replaced);
        m_layer.close(replaced);
    }
    m_endedPosition = 0;
    m_endedHeard = MediaHeard::No;
    m_endedWhy = failure.value_or(QString());
    m_note.clear();
    if (failure)
        return failure;
    if (!style.output.isEmpty()) {
        if (m_layer.output(device) == style.output) {
            m_toldMissing.remove(style.output);
        } else {
            m_note = QStringLiteral("Ses çıkışı bulunamadı: %1; ses varsayılan çıkıştan çalındı.")
                         .arg(style.output);
            if (!m_toldMissing.contains(style.output)) {
                m_toldMissing.insert(style.output);
                emit outputMissing(m_note);
            }
        }
    }
    emit started();
    checkLength();
    return std::nullopt;
}

quint32 LayerBellPlayer::playAt(quint16 device, const SoundStyle &style) {
    // Set before the play, so its first sample already sounds at it. A volume the layer cannot
    // set leaves the sound as recorded: a bell is never kept silent for it.
    if (m_style)
        m_layer.setVolume(device, style.volume);
    return m_layer.play(device, std::nullopt, true);
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
    // A sound at its length has ended, even before its timer has come round to close it.
    return m_device != 0 && m_layer.status(m_device, MediaStatusItem::Mode, mode) == 0 &&
           mode == MCI_MODE_PLAY && (m_endMs == 0 || position() < m_endMs - StopSlackMs);
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

void LayerBellPlayer::fadeOut(int ms) {
    if (m_device == 0)
        return;
    if (ms <= 0 || m_layer.setVolume(m_device, 0, ms) != 0) {
        stop();
        return;
    }
    m_fading = true;
    const qint64 end = position() + ms;
    m_endMs = m_endMs == 0 ? end : std::min(m_endMs, end);
    checkLength();
}

void LayerBellPlayer::checkLength() {
    m_lengthTimer.stop();
    if (m_device == 0 || m_endMs == 0)
        return;
    // Measured by the sound's own position, so a sound held up is not cut short.
    const qint64 left = m_endMs - position();
    if (left > StopSlackMs) {
        // The glide runs over what is left, so it ends where the sound stops.
        if (!m_fading && m_fadeMs > 0 && left <= m_fadeMs + StopSlackMs) {
            m_fading = true;
            m_layer.setVolume(m_device, 0, int(left));
        }
        const qint64 next = m_fading || m_fadeMs == 0 ? left : left - m_fadeMs;
        // Looked at again each second, and at the moment the fade begins and the sound ends.
        m_lengthTimer.start(int(std::clamp<qint64>(next, 1, 1000)));
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
