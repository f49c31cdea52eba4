#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <optional>

// Constants of the media control interface that the player and its layers share. The values are
// MCI's own, so a player that compares them reads like one driving MCI.

// Time formats.
constexpr quint32 MCI_FORMAT_MILLISECONDS = 0;
constexpr quint32 MCI_FORMAT_TMSF = 10;

// Packed track/minute/second/frame positions of MCI_FORMAT_TMSF.
constexpr quint8 MCI_TMSF_TRACK(quint32 tmsf) {
    return static_cast<quint8>(tmsf & 0xFF);
}
constexpr quint8 MCI_TMSF_MINUTE(quint32 tmsf) {
    return static_cast<quint8>((tmsf >> 8) & 0xFF);
}
constexpr quint8 MCI_TMSF_SECOND(quint32 tmsf) {
    return static_cast<quint8>((tmsf >> 16) & 0xFF);
}
constexpr quint8 MCI_TMSF_FRAME(quint32 tmsf) {
    return static_cast<quint8>((tmsf >> 24) & 0xFF);
}
constexpr quint32 MCI_MAKE_TMSF(quint8 t, quint8 m, quint8 s, quint8 f) {
    return quint32(t) | (quint32(m) << 8) | (quint32(s) << 16) | (quint32(f) << 24);
}

// Modes as the status item reports them; the player's Mode() is the low byte minus 12.
constexpr quint32 MCI_MODE_NOT_READY = 524;
constexpr quint32 MCI_MODE_STOP = 525;
constexpr quint32 MCI_MODE_PLAY = 526;
constexpr quint32 MCI_MODE_RECORD = 527;
constexpr quint32 MCI_MODE_SEEK = 528;
constexpr quint32 MCI_MODE_PAUSE = 529;
constexpr quint32 MCI_MODE_OPEN = 530;

// Device types as the device-type capability reports them.
constexpr quint32 MCI_DEVTYPE_VCR = 513;
constexpr quint32 MCI_DEVTYPE_VIDEODISC = 514;
constexpr quint32 MCI_DEVTYPE_OVERLAY = 515;
constexpr quint32 MCI_DEVTYPE_CD_AUDIO = 516;
constexpr quint32 MCI_DEVTYPE_DAT = 517;
constexpr quint32 MCI_DEVTYPE_SCANNER = 518;
constexpr quint32 MCI_DEVTYPE_ANIMATION = 519;
constexpr quint32 MCI_DEVTYPE_DIGITAL_VIDEO = 520;
constexpr quint32 MCI_DEVTYPE_OTHER = 521;
constexpr quint32 MCI_DEVTYPE_WAVEFORM_AUDIO = 522;
constexpr quint32 MCI_DEVTYPE_SEQUENCER = 523;

// Notify codes a completion notice carries.
constexpr quint32 MCI_NOTIFY_SUCCESSFUL = 1;
constexpr quint32 MCI_NOTIFY_SUPERSEDED = 2;
constexpr quint32 MCI_NOTIFY_ABORTED = 4;
constexpr quint32 MCI_NOTIFY_FAILURE = 8;

// Result codes; 0 is success. Layers may hand out further codes of their own above MCIERR_BASE.
constexpr quint32 MCIERR_BASE = 256;
constexpr quint32 MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
constexpr quint32 MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
constexpr quint32 MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr quint32 MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
constexpr quint32 MCIERR_OUTOFRANGE = MCIERR_BASE + 70;

// What an open asks for: a file by path (byType false), or a device by its type name, in which
// case the element is passed along without being looked at.
struct MediaOpenRequest {
    QString typeName;
    QString element;
    bool byType = false;
    bool shareable = false;
    // A bell's sound: it begins at the file's first audible sample, and its position and length
    // count from there. The player bar shows files as they are.
    bool fromFirstSound = false;
    // The sound output to play through, by the name the sound server lists; empty: the
    // program's own output. An output that cannot be had falls back to the program's own.
    QString output;
};

enum class MediaSeek { ToStart, ToEnd, To };

enum class MediaStatusItem { Position, Length, Mode, NumberOfTracks, TimeFormat, TrackPosition };

enum class MediaCapability { CanPlay, CanRecord, CanEject, HasVideo, DeviceType };

// Whether what a device plays has reached a sound output someone can hear.
enum class MediaHeard { Yes, NotYet, No };

// The media control requests the player relies on. Every request answers with a result code (0
// for success) and completes before it returns. A request made with notify is answered later by
// the notice signal, always on the GUI thread and never before the request has returned.
// Requests to a device id that is not open (0 included) fail with MCIERR_INVALID_DEVICE_ID.
class MediaLayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~MediaLayer() override = default;

    // On success deviceId is set to a non-zero id.
    virtual quint32 open(const MediaOpenRequest &request, quint16 &deviceId) = 0;
    virtual quint32 close(quint16 device) = 0;
    // Plays from the current position (or from `from`) to the end.
    virtual quint32 play(quint16 device, std::optional<qint32> from, bool notify) = 0;
    virtual quint32 record(quint16 device, std::optional<qint32> from, bool notify) = 0;
    virtual quint32 pause(quint16 device) = 0;
    virtual quint32 resume(quint16 device, bool notify) = 0;
    // Playback halts; the position stays where it was.
    virtual quint32 stop(quint16 device) = 0;
    // `to` is only looked at for MediaSeek::To.
    virtual quint32 seek(quint16 device, MediaSeek where, qint32 to = 0) = 0;
    virtual quint32 step(quint16 device, qint32 frames, bool reverse) = 0;
    virtual quint32 openDoor(quint16 device) = 0;
    virtual quint32 setTimeFormat(quint16 device, quint32 format, bool notify) = 0;
    // The window a video device draws into; nullptr gives the device its own window back.
    virtual quint32 setWindow(quint16 device, QObject *window) = 0;
    // `track` is only looked at for MediaStatusItem::TrackPosition. `value` is left alone on
    // failure.
    virtual quint32 status(quint16 device, MediaStatusItem item, quint32 &value, int track = 0) = 0;
    // `value` is left alone on failure.
    virtual quint32 capability(quint16 device, MediaCapability item, quint32 &value) = 0;
    // The text of a result code, or none when the layer has none for it.
    virtual std::optional<QString> errorText(quint32 code) const = 0;
    // A hint that `file` is about to be opened: a layer that can get it ready beforehand does so
    // without holding up the caller, so the open that follows has less to do. Changes nothing a
    // request answers.
    virtual void prepare(const QString &file) { Q_UNUSED(file); }
    // How loud `device` plays, from 0 (silent) to 1 (as recorded); with `rampMs`, it glides
    // there over that many milliseconds from where it stands. Lasts until the device closes.
    virtual quint32 setVolume(quint16 device, double volume, int rampMs = 0) {
        Q_UNUSED(device);
        Q_UNUSED(volume);
        Q_UNUSED(rampMs);
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    // The sound output `device` plays through: the name its open asked for when that output
    // was had, empty when it plays through the program's own (asked for, or fallen back to).
    virtual QString output(quint16 device) {
        Q_UNUSED(device);
        return {};
    }
    // Whether the sound of the last play of `device` has reached a real output: NotYet while
    // that cannot be told; No, with `code` naming why, when it never will. A request that was
    // accepted is not proof of sound: a sound server may have gone. A layer that cannot tell
    // answers Yes.
    virtual MediaHeard heard(quint16 device, quint32 &code) {
        Q_UNUSED(device);
        Q_UNUSED(code);
        return MediaHeard::Yes;
    }

signals:
    // Completion of a request made with notify; `code` is one of the MCI_NOTIFY_ values.
    void notice(quint16 device, quint32 code);
};
