#pragma once

#include "MediaLayer.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// A scripted MediaLayer for tests. Every file opens unless the test says otherwise; each device
// stands still until the test advances it. Notices for requests made with notify come out the way
// a real device sends them: superseded by a new play, aborted by stop, pause, seek and close, and
// successful when advance() runs a playing device to its end.
class FakeMediaLayer : public MediaLayer {
    Q_OBJECT
public:
    struct Request {
        QString name; // open, close, play, record, pause, resume, stop, seek, step, door,
                      // timeformat, window, status, capability, prepare
        quint16 device = 0;
        QString element; // open, prepare: the file; seek: start, end or to; status/capability:
                         // item
                         // volume: the volume asked for, in thousandths, with the ramp in from
        std::optional<qint32> from;
        qint64 argument = 0; // seek target, step frames, time format, track
        bool notify = false;
        quint32 result = 0;
        QString output; // open: the sound output asked for
    };

    struct Device {
        QString element;
        quint32 mode = MCI_MODE_STOP;
        qint32 position = 0;
        qint32 length = 0;
        quint32 timeFormat = MCI_FORMAT_MILLISECONDS;
        bool notifyPending = false;
        QList<qint32> trackStarts;
        QString output;
        double volume = 1.0; // where the last setVolume left it, ramps taken as done
    };

    explicit FakeMediaLayer(QObject *parent = nullptr);

    // --- scripting ---
    // Opening `element` fails with `code`; `text` becomes that code's error text.
    void setOpenFailure(const QString &element, quint32 code, const QString &text);
    // When on, only elements that exist on disk open; the others fail with MCIERR_FILE_NOT_FOUND.
    void setRequireExistingFiles(bool on) { m_requireExisting = on; }
    // Length in milliseconds of the devices opened on `element` from now on (default 60000).
    void setLength(const QString &element, qint32 length) { m_lengths[element] = length; }
    void setDefaultLength(qint32 length) { m_defaultLength = length; }
    // Mode of the devices opened from now on (default MCI_MODE_STOP).
    void setInitialMode(quint32 mciMode) { m_initialMode = mciMode; }
    // Outputs that cannot be had: an open naming one plays through the program's own.
    void setMissingOutputs(const QSet<QString> &outputs) { m_missingOutputs = outputs; }
    // Capabilities of devices opened from now on. Default: can play, audio, nothing else.
    void setCapabilities(bool canPlay, bool canRecord, bool canEject, bool hasVideo,
                         quint32 deviceType);
    // A capability item the layer cannot answer for the devices opened from now on.
    void setCapabilityUnknown(MediaCapability item) { m_caps.unknown.insert(int(item)); }
    // The next request named `name` fails with `code` (every one of them when `always`).
    void failRequest(const QString &name, quint32 code, bool always = false);
    void setErrorText(quint32 code, const QString &text) { m_errorTexts[code] = text; }
    // While lost, whatever plays goes nowhere: heard() answers No, with `code` and its text, as a
    // sound server that has gone would leave it.
    void setOutputLost(bool lost, quint32 code = MCIERR_BASE + 900,
                       const QString &text = QStringLiteral("ses çıkışı yok"));

    // --- per device ---
    // Moves a playing (or recording) device on by `ms`; at its end it stops at its length and a
    // pending notice comes out successful.
    void advance(quint16 device, qint32 ms);
    // advance() on every open device.
    void advanceAll(qint32 ms);
    void setPosition(quint16 device, qint32 position);
    void setMode(quint16 device, quint32 mciMode);
    void setTrackStarts(quint16 device, const QList<qint32> &starts);
    // Sends a notice now, as a device would.
    void deliverNotice(quint16 device, quint32 code);

    // --- what happened ---
    const QList<Request> &requests() const { return m_requests; }
    // The requests other than status and capability, as short texts such as "open a.wav",
    // "play 1 from 500 notify", "stop 1", "seek 1 start".
    QStringList commands() const;
    int count(const QString &name) const;
    void clearRequests() { m_requests.clear(); }
    bool isOpen(quint16 device) const { return m_devices.contains(device); }
    const Device *device(quint16 id) const;
    quint16 lastOpened() const { return m_lastOpened; }
    QList<quint16> openDevices() const { return m_devices.keys(); }

    // --- MediaLayer ---
    quint32 open(const MediaOpenRequest &request, quint16 &deviceId) override;
    quint32 close(quint16 device) override;
    quint32 play(quint16 device, std::optional<qint32> from, bool notify) override;
    quint32 record(quint16 device, std::optional<qint32> from, bool notify) override;
    quint32 pause(quint16 device) override;
    quint32 resume(quint16 device, bool notify) override;
    quint32 stop(quint16 device) override;
    quint32 seek(quint16 device, MediaSeek where, qint32 to = 0) override;
    quint32 step(quint16 device, qint32 frames, bool reverse) override;
    quint32 openDoor(quint16 device) override;
    quint32 setTimeFormat(quint16 device, quint32 format, bool notify) override;
    quint32 setWindow(quint16 device, QObject *window) override;
    quint32 status(quint16 device, MediaStatusItem item, quint32 &value, int track = 0) override;
    quint32 capability(quint16 device, MediaCapability item, quint32 &value) override;
    std::optional<QString> errorText(quint32 code) const override;
    // Only noted: nothing here takes time to get ready.
    void prepare(const QString &file) override;
    MediaHeard heard(quint16 device, quint32 &code) override;
    quint32 setVolume(quint16 device, double volume, int rampMs = 0) override;
    QString output(quint16 device) override;

private:
    struct Caps {
        bool canPlay = true;
        bool canRecord = false;
        bool canEject = false;
        bool hasVideo = false;
        quint32 deviceType = MCI_DEVTYPE_WAVEFORM_AUDIO;
        QSet<int> unknown;
    };

    quint32 log(Request request);
    quint32 scriptedFailure(const QString &name);
    // Ends a pending notify request with `code`, as a new request on the device does.
    void endPending(quint16 id, Device &d, quint32 code);
    quint32 start(const QString &name, quint16 id, std::optional<qint32> from, bool notify,
                  quint32 mode);

    QMap<quint16, Device> m_devices;
    QHash<quint16, Caps> m_deviceCaps;
    QList<Request> m_requests;
    QHash<QString, quint32> m_openFailures;
    QHash<quint32, QString> m_errorTexts;
    QHash<QString, qint32> m_lengths;
    QHash<QString, quint32> m_failOnce;
    QHash<QString, quint32> m_failAlways;
    Caps m_caps;
    qint32 m_defaultLength = 60000;
    quint32 m_initialMode = MCI_MODE_STOP;
    bool m_requireExisting = false;
    QSet<QString> m_missingOutputs;
    std::optional<quint32> m_outputLost; // the code heard() answers while lost
    quint16 m_nextId = 1;
    quint16 m_lastOpened = 0;
};
