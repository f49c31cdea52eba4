#include "MediaPlayerDevice.h"

namespace {

const char *const noDeviceOpen = "No MCI device open";

} // namespace

MediaPlayerDevice::MediaPlayerDevice(std::unique_ptr<MediaLayer> layer, QObject *parent)
    : QObject(parent)
    , m_layer(std::move(layer)) {
    // Queued, so a notice never runs inside the request that caused it, whatever the layer does.
    connect(m_layer.get(), &MediaLayer::notice, this, &MediaPlayerDevice::handleNotice,
            Qt::QueuedConnection);
}

MediaPlayerDevice::~MediaPlayerDevice() {
    // A notice still travelling must not reach a half-destroyed player.
    disconnect(m_layer.get(), nullptr, this, nullptr);
    if (m_mciDevice != 0)
        m_layer->close(m_mciDevice);
}

void MediaPlayerDevice::setDisplay(QObject *display) {
    if (display && m_isOpen && m_videoCap) {
        m_lastError = m_layer->setWindow(m_mciDevice, display);
        disconnect(m_displayWatch);
        if (m_lastError != 0) {
            m_display = nullptr;
            return;
        }
        m_display = display;
        m_displayWatch =
            connect(display, &QObject::destroyed, this, &MediaPlayerDevice::displayDestroyed);
        return;
    }
    if (display != m_display)
        disconnect(m_displayWatch);
    m_display = display;
}

void MediaPlayerDevice::displayDestroyed() {
    if (m_isOpen && m_videoCap)
        m_lastError = m_layer->setWindow(m_mciDevice, nullptr);
    m_display = nullptr;
}

void MediaPlayerDevice::Open() {
    if (m_isOpen)
        Close();

    MediaOpenRequest request;
    request.typeName = DeviceTypeName(m_deviceType);
    request.element = m_fileName;
    request.byType = m_deviceType != dtAutoSelect;
    request.shareable = m_shareable;
    const SoundStyle style = m_style ? m_style() : SoundStyle{};
    request.output = style.output;
    quint16 device = 0;
    m_lastError = m_layer->open(request, device);
    if (m_lastError != 0)
        throw EMCIDeviceError(ErrorText());
    // Set before anything plays, so the first sample is already at it. A layer that cannot set
    // it leaves the music as recorded, as the bells are.
    if (m_style)
        m_layer->setVolume(device, style.volume);

    m_isOpen = true;
    m_mciDevice = device;
    // A few are kept: a closed device's last notices arrive after the close.
    m_ownDevices.append(device);
    if (m_ownDevices.size() > 8)
        m_ownDevices.removeFirst();
    m_stepFrames = Length() / 10;

    m_playCap = capabilityFlag(MediaCapability::CanPlay);
    m_recordCap = capabilityFlag(MediaCapability::CanRecord);
    m_ejectCap = capabilityFlag(MediaCapability::CanEject);
    m_videoCap = capabilityFlag(MediaCapability::HasVideo);
    quint32 deviceType = 0;
    if (m_layer->capability(m_mciDevice, MediaCapability::DeviceType, deviceType) != 0)
        deviceType = 0;
    m_stepCap = deviceType == MCI_DEVTYPE_VCR || deviceType == MCI_DEVTYPE_OVERLAY ||
                deviceType == MCI_DEVTYPE_ANIMATION || deviceType == MCI_DEVTYPE_DIGITAL_VIDEO;

    if (m_videoCap)
        setDisplay(m_display);
    if (m_deviceType == dtCDAudio || m_deviceType == dtVideodisc)
        SetTimeFormat(MCI_FORMAT_TMSF);

    m_allowedButtons = ButtonBit(btNext) | ButtonBit(btPrev);
    if (m_stepCap)
        m_allowedButtons |= ButtonBit(btStep) | ButtonBit(btBack);
    if (m_playCap)
        m_allowedButtons |= ButtonBit(btPlay);
    if (m_recordCap)
        m_allowedButtons |= ButtonBit(btRecord);
    if (m_ejectCap)
        m_allowedButtons |= ButtonBit(btEject);
    if (Mode() == mpPlaying)
        UpdateAllowedButtons(btPlay);
    ApplyAllowedButtons();
}

bool MediaPlayerDevice::capabilityFlag(MediaCapability item) {
    // A capability the layer cannot tell counts as absent.
    quint32 answer = 0;
    if (m_layer->capability(m_mciDevice, item, answer) != 0)
        return false;
    return (answer & 0xFF) != 0;
}

void MediaPlayerDevice::Close() {
    if (m_mciDevice == 0)
        return;
    m_lastError = m_layer->close(m_mciDevice);
    if (m_lastError != 0)
        return;
    m_isOpen = false;
    m_mciDevice = 0;
    m_allowedButtons = 0;
    ApplyAllowedButtons();
}

void MediaPlayerDevice::startPlayOrRecord(bool record) {
    std::optional<qint32> from;
    if (m_pendingFromSet) {
        from = m_pendingFrom;
        m_pendingFromSet = false;
    }
    m_lastError =
        record ? m_layer->record(m_mciDevice, from, true) : m_layer->play(m_mciDevice, from, true);
}

void MediaPlayerDevice::Play() {
    RequireOpen();
    if (m_autoRewind) {
        const qint32 position = Position();
        if (position == Length() && !m_pendingFromSet)
            Rewind();
    }
    startPlayOrRecord(false);
}

void MediaPlayerDevice::Record() {
    RequireOpen();
    startPlayOrRecord(true);
}

void MediaPlayerDevice::Pause() {
    RequireOpen();
    if (Mode() == mpPlaying) {
        RequireOpen();
        m_lastError = m_layer->pause(m_mciDevice);
    } else if (Mode() == mpPaused) {
        RequireOpen();
        m_lastError = m_layer->resume(m_mciDevice, true);
        if (m_lastError != 0)
            Play();
    }
}

MediaHeard MediaPlayerDevice::Heard(QString &why) {
    if (!m_isOpen) {
        why = QString::fromLatin1(noDeviceOpen);
        return MediaHeard::No;
    }
    quint32 code = 0;
    const MediaHeard heard = m_layer->heard(m_mciDevice, code);
    if (heard == MediaHeard::No)
        why = m_layer->errorText(code).value_or(QStringLiteral("Unknown error code"));
    return heard;
}

void MediaPlayerDevice::Stop() {
    RequireOpen();
    m_lastError = m_layer->stop(m_mciDevice);
}

void MediaPlayerDevice::Next() {
    RequireOpen();
    if (TimeFormat() != MCI_FORMAT_TMSF) {
        m_lastError = m_layer->seek(m_mciDevice, MediaSeek::ToEnd);
        return;
    }
    const qint32 track = MCI_TMSF_TRACK(static_cast<quint32>(Position()));
    const qint32 count = TrackCount();
    const qint32 target = TrackPosition(track == count ? count : track + 1);
    goToTrackPosition(target);
}

void MediaPlayerDevice::Previous() {
    RequireOpen();
    if (TimeFormat() != MCI_FORMAT_TMSF) {
        m_lastError = m_layer->seek(m_mciDevice, MediaSeek::ToStart);
        return;
    }
    const auto position = static_cast<quint32>(Position());
    const auto trackStart =
        static_cast<quint32>(TrackPosition(MCI_TMSF_TRACK(static_cast<quint32>(Position()))));
    qint32 target = static_cast<qint32>(trackStart);
    if (MCI_TMSF_TRACK(position) != 1 && MCI_TMSF_MINUTE(position) == MCI_TMSF_MINUTE(trackStart) &&
        MCI_TMSF_SECOND(position) == MCI_TMSF_SECOND(trackStart)) {
        const qint32 track = MCI_TMSF_TRACK(static_cast<quint32>(Position()));
        target = TrackPosition(track - 1);
    }
    goToTrackPosition(target);
}

void MediaPlayerDevice::goToTrackPosition(qint32 target) {
    // A playing device plays on from there, so the bar then shows it as a play.
    if (Mode() == mpPlaying) {
        m_pendingFrom = target;
        m_pendingFromSet = true;
        Play();
        m_pressedButton = btPlay;
        return;
    }
    m_lastError = m_layer->seek(m_mciDevice, MediaSeek::To, target);
}

void MediaPlayerDevice::Step() {
    RequireOpen();
    if (!m_videoCap)
        return;
    if (m_autoRewind && Position() == Length())
        Rewind();
    m_lastError = m_layer->step(m_mciDevice, m_stepFrames, false);
}

void MediaPlayerDevice::Back() {
    RequireOpen();
    if (!m_videoCap)
        return;
    m_lastError = m_layer->step(m_mciDevice, m_stepFrames, true);
}

void MediaPlayerDevice::Eject() {
    RequireOpen();
    if (!m_ejectCap)
        return;
    m_lastError = m_layer->openDoor(m_mciDevice);
}

void MediaPlayerDevice::Rewind() {
    RequireOpen();
    m_layer->seek(m_mciDevice, MediaSeek::ToStart);
}

qint32 MediaPlayerDevice::statusValue(MediaStatusItem item, bool recorded, int track) {
    // A failed status request has no meaningful value; 0 keeps callers deterministic.
    quint32 value = 0;
    const quint32 result = m_layer->status(m_mciDevice, item, value, track);
    if (recorded)
        m_lastError = result;
    if (result != 0)
        value = 0;
    return static_cast<qint32>(value);
}

qint32 MediaPlayerDevice::Position() {
    return statusValue(MediaStatusItem::Position, true);
}

qint32 MediaPlayerDevice::Length() {
    RequireOpen();
    return statusValue(MediaStatusItem::Length, true);
}

qint32 MediaPlayerDevice::TrackCount() {
    RequireOpen();
    return statusValue(MediaStatusItem::NumberOfTracks, true);
}

qint32 MediaPlayerDevice::TrackPosition(int track) {
    return statusValue(MediaStatusItem::TrackPosition, false, track);
}

quint8 MediaPlayerDevice::Mode() {
    quint32 value = 0;
    m_lastError = m_layer->status(m_mciDevice, MediaStatusItem::Mode, value);
    // Without an answer the mode is "not ready", never a value that looks like playing.
    if (m_lastError != 0 || (value & 0xFF) < 12)
        return mpNotReady;
    return static_cast<quint8>((value & 0xFF) - 12);
}

quint8 MediaPlayerDevice::TimeFormat() {
    RequireOpen();
    return static_cast<quint8>(statusValue(MediaStatusItem::TimeFormat, true) & 0xFF);
}

void MediaPlayerDevice::SetTimeFormat(quint32 format) {
    m_lastError = m_layer->setTimeFormat(m_mciDevice, format, true);
}

QString MediaPlayerDevice::ErrorText() const {
    return m_layer->errorText(m_lastError).value_or(QStringLiteral("Unknown error code"));
}

void MediaPlayerDevice::RequireOpen() const {
    if (!m_isOpen)
        throw EMCIDeviceError(QString::fromLatin1(noDeviceOpen));
}

void MediaPlayerDevice::UpdateAllowedButtons(TMPBtnType button) {
    const TButtonSet playAndRecord = ButtonBit(btPlay) | ButtonBit(btRecord);
    const TButtonSet pauseAndStop = ButtonBit(btPause) | ButtonBit(btStop);
    TButtonSet restartable = 0;
    if (m_playCap)
        restartable |= ButtonBit(btPlay);
    if (m_recordCap)
        restartable |= ButtonBit(btRecord);

    switch (button) {
    case btPlay:
    case btRecord:
        m_allowedButtons = (m_allowedButtons & ~playAndRecord) | pauseAndStop;
        break;
    case btPause:
        m_allowedButtons |= restartable;
        break;
    case btStop:
    case btNext:
    case btPrev:
    case btStep:
    case btBack:
    case btEject:
        m_allowedButtons = (m_allowedButtons | restartable) & ~pauseAndStop;
        break;
    }
}

void MediaPlayerDevice::ApplyAllowedButtons() {
    emit allowedButtonsApplied();
}

void MediaPlayerDevice::Loaded() {
    if (m_autoOpen)
        Open();
}

void MediaPlayerDevice::handleNotice(quint16 device, quint32 code) {
    if (!m_ownDevices.contains(device))
        return;
    if (m_autoEnable && Mode() == mpStopped) {
        UpdateAllowedButtons(btStop);
        ApplyAllowedButtons();
    }
    switch (code) {
    case MCI_NOTIFY_SUCCESSFUL:
        m_notifyResult = nvSuccessful;
        break;
    case MCI_NOTIFY_SUPERSEDED:
        m_notifyResult = nvSuperseded;
        break;
    case MCI_NOTIFY_ABORTED:
        m_notifyResult = nvAborted;
        break;
    case MCI_NOTIFY_FAILURE:
        m_notifyResult = nvFailure;
        break;
    default:
        break;
    }
    if (OnNotify)
        OnNotify(this);
}
