#pragma once

#include "MPlayerTypes.h"
#include "MediaLayer.h"
#include "SoundRules.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

// The device half of the media player: one media device at a time, opened on FileName, driven
// through a MediaLayer. Result codes go to LastError; only a missing device and a failed open
// raise EMCIDeviceError. The button bar plays through one and follows AllowedButtons.
class MediaPlayerDevice : public QObject {
    Q_OBJECT
public:
    explicit MediaPlayerDevice(std::unique_ptr<MediaLayer> layer, QObject *parent = nullptr);
    // Closes an open device without recording anything.
    ~MediaPlayerDevice() override;

    const QString &FileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    TMPDeviceTypes DeviceType() const { return m_deviceType; }
    void setDeviceType(TMPDeviceTypes type) { m_deviceType = type; }
    bool Shareable() const { return m_shareable; }
    void setShareable(bool shareable) { m_shareable = shareable; }
    bool AutoOpen() const { return m_autoOpen; }
    void setAutoOpen(bool autoOpen) { m_autoOpen = autoOpen; }
    bool AutoRewind() const { return m_autoRewind; }
    void setAutoRewind(bool autoRewind) { m_autoRewind = autoRewind; }
    bool AutoEnable() const { return m_autoEnable; }
    void setAutoEnable(bool autoEnable) { m_autoEnable = autoEnable; }
    // The object a video device draws into, or nullptr.
    QObject *Display() const { return m_display; }
    void setDisplay(QObject *display);

    bool IsOpen() const { return m_isOpen; }
    quint16 MciDevice() const { return m_mciDevice; }
    quint32 LastError() const { return m_lastError; }
    bool PlayCap() const { return m_playCap; }
    bool RecordCap() const { return m_recordCap; }
    bool EjectCap() const { return m_ejectCap; }
    bool VideoCap() const { return m_videoCap; }
    bool StepCap() const { return m_stepCap; }
    qint32 StepFrames() const { return m_stepFrames; }
    TButtonSet AllowedButtons() const { return m_allowedButtons; }
    TMPBtnType PressedButton() const { return m_pressedButton; }
    void setPressedButton(TMPBtnType button) { m_pressedButton = button; }
    TMPNotifyValues NotifyResult() const { return m_notifyResult; }

    void Open();
    // Asked at every open for the level and output music played by hand gets; without one it
    // plays as recorded through the program's own output.
    void setStyle(std::function<SoundStyle()> style) { m_style = std::move(style); }
    // The layer the device plays through; others (the bell player) may play through it too.
    MediaLayer &layer() { return *m_layer; }
    // Whether the music of the last Play has reached a sound output (MediaLayer::heard); `why`
    // tells why not when the answer is No. Nothing open is No: it cannot be heard any more.
    MediaHeard Heard(QString &why);
    void Close();
    void Play();
    // Pauses a playing device, resumes a paused one.
    void Pause();
    void Stop();
    void Next();
    void Previous();
    void Step();
    void Back();
    void Record();
    void Eject();
    void Rewind();

    qint32 Position();
    qint32 Length();
    qint32 TrackCount();
    qint32 TrackPosition(int track);
    // One of TMPModes.
    quint8 Mode();
    quint8 TimeFormat();
    void SetTimeFormat(quint32 format);
    // The layer's text for LastError, or "Unknown error code".
    QString ErrorText() const;

    // Raises EMCIDeviceError "No MCI device open" when nothing is open.
    void RequireOpen() const;
    // Adjusts AllowedButtons after the action of one button; repaints nothing.
    void UpdateAllowedButtons(TMPBtnType button);
    // Hands AllowedButtons to the button bar through allowedButtonsApplied().
    void ApplyAllowedButtons();
    // Called by the window holding the player once it has been set up: opens when AutoOpen.
    void Loaded();

    // Called after each completion notice with the player as sender.
    std::function<void(QObject *sender)> OnNotify;

signals:
    void allowedButtonsApplied();

private:
    void handleNotice(quint16 device, quint32 code);
    void displayDestroyed();
    qint32 statusValue(MediaStatusItem item, bool recorded, int track = 0);
    bool capabilityFlag(MediaCapability item);
    void startPlayOrRecord(bool record);
    // The end of Next and Previous by tracks.
    void goToTrackPosition(qint32 target);

    std::unique_ptr<MediaLayer> m_layer;
    std::function<SoundStyle()> m_style;
    // The devices this player opened lately: the layer's notices of any other are not its own.
    QList<quint16> m_ownDevices;
    QString m_fileName;
    TMPDeviceTypes m_deviceType = dtAutoSelect;
    bool m_shareable = false;
    bool m_autoOpen = false;
    bool m_autoRewind = true;
    bool m_autoEnable = true;
    QPointer<QObject> m_display;
    QMetaObject::Connection m_displayWatch;
    bool m_isOpen = false;
    quint16 m_mciDevice = 0;
    quint32 m_lastError = 0;
    bool m_playCap = false;
    bool m_recordCap = false;
    bool m_ejectCap = false;
    bool m_videoCap = false;
    bool m_stepCap = false;
    qint32 m_stepFrames = 0;
    qint32 m_pendingFrom = 0;
    bool m_pendingFromSet = false;
    TButtonSet m_allowedButtons = 0;
    TMPBtnType m_pressedButton = btPlay;
    TMPNotifyValues m_notifyResult = nvSuccessful;
};
