#pragma once

#include "BellPlayer.h"

#include <QSet>
#include <QTimer>

#include <functional>

// The bell player on a MediaLayer, beside whatever else the layer plays (the player bar's
// device): each sound is a device of its own, opened for its play and closed when it ends.
class LayerBellPlayer final : public BellPlayer {
    Q_OBJECT
public:
    // A sound this close to its length is stopped now: waiting for the rest would cost a timer
    // round trip that lands later than that.
    static constexpr int StopSlackMs = 10;
    // A sound played for a length glides to silence over its last second (a quarter of a bell
    // shorter than 4 s), so it ends without a click and still at its length.
    static constexpr int FadeMs = 1000;

    // `layer` must outlive the player.
    explicit LayerBellPlayer(MediaLayer &layer, QObject *parent = nullptr);
    // Closes what plays without any notice.
    ~LayerBellPlayer() override;

    // Asked at every play, before it starts, for the volume and output of the sound's kind.
    // Without one, every sound plays as recorded through the program's own output.
    void setStyle(std::function<SoundStyle(SoundKind)> style) { m_style = std::move(style); }

    void prepare(const QString &file) override;
    std::optional<QString> play(const QString &file, int lengthSeconds,
                                SoundKind kind = SoundKind::Bell) override;
    void stop() override;
    qint64 position() override;
    bool playing() override;
    MediaHeard heard(QString &why) override;
    QString playNote() const override { return m_note; }
    // The file of the sound that plays; empty when none does.
    QString file() const { return m_device != 0 ? m_file : QString(); }

    // Glides what plays to silence over `ms` and then stops it, as stop() does; at once when
    // the layer cannot glide. Nothing when nothing plays.
    void fadeOut(int ms) override;

    // Stops the sound once it has played its length, and starts its fade before that. The
    // player's own timer calls it; a test that moves the layer's time by hand calls it the same
    // way.
    void checkLength();

signals:
    // The output chosen for a sound could not be had and the sound played through the
    // program's own: said once, until that output is had again.
    void outputMissing(const QString &sentence);

private:
    quint32 playAt(quint16 device, const SoundStyle &style);
    void handleNotice(quint16 device, quint32 code);
    // Closes the sound's device, keeping its position and what heard() last answered.
    void end(bool stopFirst);
    QString errorText(quint32 code) const;

    MediaLayer &m_layer;
    std::function<SoundStyle(SoundKind)> m_style;
    quint16 m_device = 0;
    QString m_file;
    qint64 m_endMs = 0; // where the sound stops, in its own milliseconds; 0: at its end
    qint64 m_fadeMs = 0;
    bool m_fading = false;
    QTimer m_lengthTimer;
    qint64 m_endedPosition = 0;
    MediaHeard m_endedHeard = MediaHeard::No;
    QString m_endedWhy;
    QString m_note;
    QSet<QString> m_toldMissing;
};
