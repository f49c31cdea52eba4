#pragma once

#include "BellPlayer.h"

#include <QTimer>

// The bell player on a MediaLayer, beside whatever else the layer plays (the player bar's
// device): each sound is a device of its own, opened for its play and closed when it ends.
class LayerBellPlayer final : public BellPlayer {
    Q_OBJECT
public:
    // A sound this close to its length is stopped now: waiting for the rest would cost a timer
    // round trip that lands later than that.
    static constexpr int StopSlackMs = 10;

    // `layer` must outlive the player.
    explicit LayerBellPlayer(MediaLayer &layer, QObject *parent = nullptr);
    // Closes what plays without any notice.
    ~LayerBellPlayer() override;

    void prepare(const QString &file) override;
    std::optional<QString> play(const QString &file, int lengthSeconds,
                                SoundKind kind = SoundKind::Bell) override;
    void stop() override;
    // A layer that cannot change the volume stops at once.
    void fadeOut(int ms) override;
    qint64 position() override;
    bool playing() override;
    MediaHeard heard(QString &why) override;
    // The file of the sound that plays; empty when none does.
    QString file() const { return m_device != 0 ? m_file : QString(); }

    // Stops the sound once it has played its length, or its fade out has ended. The player's own
    // timer calls it; a test that moves the layer's time by hand calls it the same way.
    void checkLength();

private:
    void handleNotice(quint16 device, quint32 code);
    // Closes the sound's device, keeping its position and what heard() last answered.
    void end(bool stopFirst);
    QString errorText(quint32 code) const;

    MediaLayer &m_layer;
    quint16 m_device = 0;
    QString m_file;
    int m_lengthSeconds = 0;
    QTimer m_lengthTimer;
    // Where in the sound a fade out ends and the sound stops; none while no fade runs.
    std::optional<qint64> m_fadeEnd;
    qint64 m_endedPosition = 0;
    MediaHeard m_endedHeard = MediaHeard::No;
    QString m_endedWhy;
};
