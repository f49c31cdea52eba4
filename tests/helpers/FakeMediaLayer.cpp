#include "FakeMediaLayer.h"

#include <QFileInfo>

FakeMediaLayer::FakeMediaLayer(QObject *parent)
    : MediaLayer(parent) {
    m_errorTexts[MCIERR_INVALID_DEVICE_ID] = QStringLiteral("Invalid device id.");
    m_errorTexts[MCIERR_FILE_NOT_FOUND] = QStringLiteral("Resource not found.");
    m_errorTexts[MCIERR_UNSUPPORTED_FUNCTION] = QStringLiteral("Not supported.");
}

void FakeMediaLayer::setOpenFailure(const QString &element, quint32 code, const QString &text) {
    m_openFailures[element] = code;
    m_errorTexts[code] = text;
}

void FakeMediaLayer::setCapabilities(bool canPlay, bool canRecord, bool canEject, bool hasVideo,
                                     quint32 deviceType) {
    m_caps.canPlay = canPlay;
    m_caps.canRecord = canRecord;
    m_caps.canEject = canEject;
    m_caps.hasVideo = hasVideo;
    m_caps.deviceType = deviceType;
}

void FakeMediaLayer::failRequest(const QString &name, quint32 code, bool always) {
    if (always)
        m_failAlways[name] = code;
    else
        m_failOnce[name] = code;
}

quint32 FakeMediaLayer::scriptedFailure(const QString &name) {
    if (m_failAlways.contains(name))
        return m_failAlways.value(name);
    return m_failOnce.take(name);
}

quint32 FakeMediaLayer::log(Request request) {
    m_requests.append(request);
    return request.result;
}

void FakeMediaLayer::endPending(quint16 id, Device &d, quint32 code) {
    if (!d.notifyPending)
        return;
    d.notifyPending = false;
    deliverNotice(id, code);
}

void FakeMediaLayer::advance(quint16 id, qint32 ms) {
    auto it = m_devices.find(id);
    if (it == m_devices.end())
        return;
    Device &d = *it;
    if (d.mode != MCI_MODE_PLAY && d.mode != MCI_MODE_RECORD)
        return;
    d.position += ms;
    if (d.mode == MCI_MODE_PLAY && d.position >= d.length) {
        d.position = d.length;
        d.mode = MCI_MODE_STOP;
        endPending(id, d, MCI_NOTIFY_SUCCESSFUL);
    }
}

void FakeMediaLayer::advanceAll(qint32 ms) {
    for (quint16 id : m_devices.keys())
        advance(id, ms);
}

void FakeMediaLayer::setPosition(quint16 id, qint32 position) {
    if (m_devices.contains(id))
        m_devices[id].position = position;
}

void FakeMediaLayer::setMode(quint16 id, quint32 mciMode) {
    if (m_devices.contains(id))
        m_devices[id].mode = mciMode;
}

void FakeMediaLayer::setTrackStarts(quint16 id, const QList<qint32> &starts) {
    if (m_devices.contains(id))
        m_devices[id].trackStarts = starts;
}

void FakeMediaLayer::deliverNotice(quint16 device, quint32 code) {
    emit notice(device, code);
}

QStringList FakeMediaLayer::commands() const {
    QStringList out;
    for (const Request &r : m_requests) {
        if (r.name == QLatin1String("status") || r.name == QLatin1String("capability"))
            continue;
        QString text = r.name;
        if (r.name == QLatin1String("open") || r.name == QLatin1String("prepare")) {
            text += QLatin1Char(' ') + r.element;
        } else {
            text += QLatin1Char(' ') + QString::number(r.device);
            if (r.name == QLatin1String("seek")) {
                text += QLatin1Char(' ') + r.element;
                if (r.element == QLatin1String("to"))
                    text += QLatin1Char(' ') + QString::number(r.argument);
            }
            if (r.name == QLatin1String("step") || r.name == QLatin1String("timeformat"))
                text += QLatin1Char(' ') + QString::number(r.argument);
        }
        if (r.from)
            text += QStringLiteral(" from ") + QString::number(*r.from);
        if (r.notify)
            text += QStringLiteral(" notify");
        out.append(text);
    }
    return out;
}

int FakeMediaLayer::count(const QString &name) const {
    int n = 0;
    for (const Request &r : m_requests)
        n += r.name == name ? 1 : 0;
    return n;
}

const FakeMediaLayer::Device *FakeMediaLayer::device(quint16 id) const {
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : &*it;
}

quint32 FakeMediaLayer::open(const MediaOpenRequest &request, quint16 &deviceId) {
    Request r{QStringLiteral("open"), 0, request.element, {}, 0, false, 0, request.output};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && m_openFailures.contains(request.element))
        r.result = m_openFailures.value(request.element);
    if (r.result == 0 && m_requireExisting && !request.byType &&
        !QFileInfo::exists(request.element))
        r.result = MCIERR_FILE_NOT_FOUND;
    if (r.result == 0) {
        const quint16 id = m_nextId++;
        if (m_nextId == 0)
            m_nextId = 1;
        Device d;
        d.element = request.element;
        d.length = m_lengths.value(request.element, m_defaultLength);
        d.mode = m_initialMode;
        d.output = m_missingOutputs.contains(request.output) ? QString() : request.output;
        m_devices.insert(id, d);
        m_deviceCaps.insert(id, m_caps);
        m_lastOpened = id;
        deviceId = id;
        r.device = id;
    }
    return log(r);
}

quint32 FakeMediaLayer::close(quint16 id) {
    Request r{QStringLiteral("close"), id, {}, {}, 0, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        Device d = m_devices.take(id);
        m_deviceCaps.remove(id);
        endPending(id, d, MCI_NOTIFY_ABORTED);
    }
    return log(r);
}

quint32 FakeMediaLayer::start(const QString &name, quint16 id, std::optional<qint32> from,
                              bool notify, quint32 mode) {
    Request r{name, id, {}, from, 0, notify, 0};
    r.result = scriptedFailure(name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        Device &d = m_devices[id];
        endPending(id, d, MCI_NOTIFY_SUPERSEDED);
        if (from)
            d.position = *from;
        d.mode = mode;
        d.notifyPending = notify;
        // A play from the end has nothing left to play: it completes at once.
        if (mode == MCI_MODE_PLAY && d.position >= d.length) {
            d.position = d.length;
            d.mode = MCI_MODE_STOP;
            endPending(id, d, MCI_NOTIFY_SUCCESSFUL);
        }
    }
    return log(r);
}

quint32 FakeMediaLayer::play(quint16 id, std::optional<qint32> from, bool notify) {
    return start(QStringLiteral("play"), id, from, notify, MCI_MODE_PLAY);
}

quint32 FakeMediaLayer::record(quint16 id, std::optional<qint32> from, bool notify) {
    return start(QStringLiteral("record"), id, from, notify, MCI_MODE_RECORD);
}

quint32 FakeMediaLayer::resume(quint16 id, bool notify) {
    Request r{QStringLiteral("resume"), id, {}, {}, 0, notify, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0 && m_devices[id].mode != MCI_MODE_PAUSE)
        r.result = MCIERR_DEVICE_NOT_READY;
    if (r.result == 0) {
        Device &d = m_devices[id];
        endPending(id, d, MCI_NOTIFY_SUPERSEDED);
        d.mode = MCI_MODE_PLAY;
        d.notifyPending = notify;
    }
    return log(r);
}

quint32 FakeMediaLayer::pause(quint16 id) {
    Request r{QStringLiteral("pause"), id, {}, {}, 0, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        Device &d = m_devices[id];
        endPending(id, d, MCI_NOTIFY_ABORTED);
        d.mode = MCI_MODE_PAUSE;
    }
    return log(r);
}

quint32 FakeMediaLayer::stop(quint16 id) {
    Request r{QStringLiteral("stop"), id, {}, {}, 0, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        Device &d = m_devices[id];
        endPending(id, d, MCI_NOTIFY_ABORTED);
        d.mode = MCI_MODE_STOP;
    }
    return log(r);
}

quint32 FakeMediaLayer::seek(quint16 id, MediaSeek where, qint32 to) {
    static const char *const names[] = {"start", "end", "to"};
    Request r{QStringLiteral("seek"), id, QString::fromLatin1(names[int(where)]), {}, to, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        Device &d = m_devices[id];
        endPending(id, d, MCI_NOTIFY_ABORTED);
        d.position = where == MediaSeek::ToStart ? 0 : where == MediaSeek::ToEnd ? d.length : to;
        d.mode = MCI_MODE_STOP;
    }
    return log(r);
}

quint32 FakeMediaLayer::step(quint16 id, qint32 frames, bool reverse) {
    Request r{QStringLiteral("step"), id, {}, {}, reverse ? -frames : frames, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        Device &d = m_devices[id];
        d.position = qBound(0, d.position + qint32(r.argument), d.length);
    }
    return log(r);
}

quint32 FakeMediaLayer::openDoor(quint16 id) {
    Request r{QStringLiteral("door"), id, {}, {}, 0, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    return log(r);
}

quint32 FakeMediaLayer::setTimeFormat(quint16 id, quint32 format, bool notify) {
    Request r{QStringLiteral("timeformat"), id, {}, {}, format, notify, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0)
        m_devices[id].timeFormat = format;
    return log(r);
}

quint32 FakeMediaLayer::setWindow(quint16 id, QObject *) {
    Request r{QStringLiteral("window"), id, {}, {}, 0, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    return log(r);
}

quint32 FakeMediaLayer::status(quint16 id, MediaStatusItem item, quint32 &value, int track) {
    static const char *const names[] = {"position", "length",     "mode",
                                        "tracks",   "timeformat", "trackposition"};
    Request r{
        QStringLiteral("status"), id, QString::fromLatin1(names[int(item)]), {}, track, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        const Device &d = m_devices[id];
        switch (item) {
        case MediaStatusItem::Position:
            value = static_cast<quint32>(d.position);
            break;
        case MediaStatusItem::Length:
            value = static_cast<quint32>(d.length);
            break;
        case MediaStatusItem::Mode:
            value = d.mode;
            break;
        case MediaStatusItem::NumberOfTracks:
            value = d.trackStarts.isEmpty() ? 1 : static_cast<quint32>(d.trackStarts.size());
            break;
        case MediaStatusItem::TimeFormat:
            value = d.timeFormat;
            break;
        case MediaStatusItem::TrackPosition:
            if (d.trackStarts.isEmpty())
                value = 0;
            else if (track >= 1 && track <= d.trackStarts.size())
                value = static_cast<quint32>(d.trackStarts.at(track - 1));
            else
                r.result = MCIERR_OUTOFRANGE;
            break;
        }
    }
    return log(r);
}

quint32 FakeMediaLayer::capability(quint16 id, MediaCapability item, quint32 &value) {
    Request r{QStringLiteral("capability"), id, QString::number(int(item)), {}, 0, false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0) {
        const Caps &c = m_deviceCaps[id];
        if (c.unknown.contains(int(item))) {
            r.result = MCIERR_UNSUPPORTED_FUNCTION;
        } else {
            switch (item) {
            case MediaCapability::CanPlay:
                value = c.canPlay;
                break;
            case MediaCapability::CanRecord:
                value = c.canRecord;
                break;
            case MediaCapability::CanEject:
                value = c.canEject;
                break;
            case MediaCapability::HasVideo:
                value = c.hasVideo;
                break;
            case MediaCapability::DeviceType:
                value = c.deviceType;
                break;
            }
        }
    }
    return log(r);
}

std::optional<QString> FakeMediaLayer::errorText(quint32 code) const {
    auto it = m_errorTexts.find(code);
    if (it == m_errorTexts.end())
        return std::nullopt;
    return *it;
}

void FakeMediaLayer::setOutputLost(bool lost, quint32 code, const QString &text) {
    m_outputLost.reset();
    if (lost) {
        m_outputLost = code;
        m_errorTexts[code] = text;
    }
}

void FakeMediaLayer::prepare(const QString &file) {
    Request r;
    r.name = QStringLiteral("prepare");
    r.element = file;
    log(r);
}

MediaHeard FakeMediaLayer::heard(quint16 id, quint32 &code) {
    code = !m_devices.contains(id) ? MCIERR_INVALID_DEVICE_ID : m_outputLost.value_or(0);
    return code == 0 ? MediaHeard::Yes : MediaHeard::No;
}

quint32 FakeMediaLayer::setVolume(quint16 id, double volume, int rampMs) {
    Request r{QStringLiteral("volume"), id, {}, rampMs, qRound64(volume * 1000), false, 0};
    r.result = scriptedFailure(r.name);
    if (r.result == 0 && !m_devices.contains(id))
        r.result = MCIERR_INVALID_DEVICE_ID;
    if (r.result == 0)
        m_devices[id].volume = volume;
    return log(r);
}

QString FakeMediaLayer::output(quint16 id) {
    return m_devices.value(id).output;
}
