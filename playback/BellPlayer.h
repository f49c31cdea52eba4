#pragma once

#include "MediaLayer.h"
#include "SoundRules.h"

#include <QObject>
#include <QString>

#include <optional>

// What rings a bell (and whatever else sounds at a time of its own): one sound at a time, played
// from its start for a length and then stopped by the player itself. A new play replaces the
// sound that plays. Failures are Turkish sentences the user reads.
class BellPlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BellPlayer() override = default;

    // Gets `file` ready, without holding up the caller, so that a play of it soon after only has
    // to start. Changes nothing that plays.
    virtual void prepare(const QString &file) = 0;
    // Plays `file` from its start for `lengthSeconds` (0: the whole file), replacing what plays,
    // as a sound of `kind`; the reason when it could not start.
    virtual std::optional<QString> play(const QString &file, int lengthSeconds,
                                        SoundKind kind = SoundKind::Bell) = 0;
    // Silences what plays; nothing when nothing does.
    virtual void stop() = 0;
    // Glides what plays to silence over `ms` and then stops it; nothing when nothing plays.
    virtual void fadeOut(int ms) = 0;
    // Where the sound stands in its file, in milliseconds; 0 when nothing has started.
    virtual qint64 position() = 0;
    virtual bool playing() = 0;
    // Whether the sound of the last play has reached an output someone can hear; `why` says why
    // not when the answer is No. A play that has ended answers as it stood when it ended.
    virtual MediaHeard heard(QString &why) = 0;
    // What the record line of the last play should say although it played (it went to another
    // output than the one chosen); empty when nothing.
    virtual QString playNote() const { return {}; }
    // The kind of the last play, whether or not it still sounds.
    SoundKind kind() const { return m_kind; }

signals:
    // A play has started; what else plays through the same output should give way.
    void started();
    // The sound of the last play ended: at its length, at the end of its file, or stopped.
    void finished();
    // The sound of the last play broke off while playing.
    void failed(const QString &why);

protected:
    SoundKind m_kind = SoundKind::Bell;
};
