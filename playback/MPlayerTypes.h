#pragma once

// The media player's shared types: buttons, notify values, device types, modes, EMCIDeviceError.

#include "ZilError.h"

#include <QString>
#include <QtGlobal>

// The nine buttons of the media player, in the order their bits take in a TButtonSet.
enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };

// A set of buttons: bit n stands for the button of ordinal n.
using TButtonSet = quint16;

constexpr TButtonSet ButtonBit(TMPBtnType button) {
    return static_cast<TButtonSet>(1u << static_cast<unsigned>(button));
}

constexpr TButtonSet AllButtons = 511;

// Outcome of the last completion notice.
enum TMPNotifyValues { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

enum TMPDeviceTypes {
    dtAutoSelect,
    dtAVIVideo,
    dtCDAudio,
    dtDAT,
    dtDigitalVideo,
    dtMMMovie,
    dtOther,
    dtOverlay,
    dtScanner,
    dtSequencer,
    dtVCR,
    dtVideodisc,
    dtWaveAudio
};

// The device type name an open by type passes; empty for dtAutoSelect.
inline QString DeviceTypeName(TMPDeviceTypes type) {
    static const char *const names[] = {
        "",        "AVIVideo", "CDAudio",   "DAT", "DigitalVideo", "MMMovie",  "Other",
        "Overlay", "Scanner",  "Sequencer", "VCR", "Videodisc",    "WaveAudio"};
    return QString::fromLatin1(names[type]);
}

// Mode() values: the index of the device's mode.
enum TMPModes : quint8 {
    mpNotReady,
    mpStopped,
    mpPlaying,
    mpRecording,
    mpSeeking,
    mpPaused,
    mpOpen
};

// The player's only exception: no device open, or a file that could not be opened.
class EMCIDeviceError : public ZilError {
public:
    using ZilError::ZilError;
};
