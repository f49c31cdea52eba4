#include "FakeMediaLayer.h"
#include "MediaPlayerDevice.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr TButtonSet bits(std::initializer_list<TMPBtnType> buttons) {
    TButtonSet set = 0;
    for (TMPBtnType b : buttons)
        set |= ButtonBit(b);
    return set;
}

// Notices travel through the event loop, as window messages did.
void deliverPosted() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// A fake that tells the test which devices it was asked to close, even after it is gone.
class ClosingWitness : public FakeMediaLayer {
public:
    explicit ClosingWitness(QList<quint16> *closed)
        : m_closed(closed) {}
    quint32 close(quint16 device) override {
        m_closed->append(device);
        return FakeMediaLayer::close(device);
    }

private:
    QList<quint16> *m_closed;
};

} // namespace

class TestMediaPlayerDevice : public QObject {
    Q_OBJECT

private:
    FakeMediaLayer *layer = nullptr;
    std::unique_ptr<MediaPlayerDevice> player;

    void openFile(const QString &name = QStringLiteral("zil.wav")) {
        player->setFileName(name);
        player->Open();
    }

private slots:
    void init() {
        auto fake = std::make_unique<FakeMediaLayer>();
        layer = fake.get();
        player = std::make_unique<MediaPlayerDevice>(std::move(fake));
    }
    void cleanup() { player.reset(); }

    void defaultsAtCreation() {
        QCOMPARE(player->DeviceType(), dtAutoSelect);
        QVERIFY(!player->Shareable());
        QVERIFY(!player->AutoOpen());
        QVERIFY(player->AutoRewind());
        QVERIFY(player->AutoEnable());
        QVERIFY(!player->IsOpen());
        QCOMPARE(player->MciDevice(), quint16(0));
        QCOMPARE(player->LastError(), quint32(0));
        QCOMPARE(player->AllowedButtons(), TButtonSet(0));
        QVERIFY(layer->requests().isEmpty());
    }

    void needsOpenDevice_data() {
        QTest::addColumn<int>("operation");
        const char *names[] = {"Play",   "Pause",      "Stop",      "Next",  "Previous",
                               "Step",   "Back",       "Record",    "Eject", "Rewind",
                               "Length", "TrackCount", "TimeFormat"};
        for (int i = 0; i < int(std::size(names)); ++i)
            QTest::newRow(names[i]) << i;
    }
    void needsOpenDevice() {
        QFETCH(int, operation);
        player->SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        const quint32 errorBefore = player->LastError();
        layer->clearRequests();
        const std::function<void()> ops[] = {
            [&] { player->Play(); },      [&] { player->Pause(); },
            [&] { player->Stop(); },      [&] { player->Next(); },
            [&] { player->Previous(); },  [&] { player->Step(); },
            [&] { player->Back(); },      [&] { player->Record(); },
            [&] { player->Eject(); },     [&] { player->Rewind(); },
            [&] { player->Length(); },    [&] { player->TrackCount(); },
            [&] { player->TimeFormat(); }};
        try {
            ops[operation]();
            QFAIL("no exception");
        } catch (const EMCIDeviceError &e) {
            QCOMPARE(e.message(), QStringLiteral("No MCI device open"));
        }
        QVERIFY2(layer->requests().isEmpty(), qPrintable(layer->commands().join(", ")));
        QCOMPARE(player->LastError(), errorBefore);
        QVERIFY(!player->IsOpen());
    }

    void closedDeviceQueriesRecordButNeverRaise() {
        player->Close();
        QVERIFY(layer->requests().isEmpty());
        QCOMPARE(player->LastError(), quint32(0));

        player->Position();
        QCOMPARE(player->LastError(), MCIERR_INVALID_DEVICE_ID);

        player->Close(); // nothing open: LastError stays as the Position request left it
        QCOMPARE(player->LastError(), MCIERR_INVALID_DEVICE_ID);

        QCOMPARE(player->Mode(), quint8(mpNotReady));
        player->TrackPosition(1);

        player->SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        QCOMPARE(player->LastError(), MCIERR_INVALID_DEVICE_ID);
        QCOMPARE(layer->commands(), QStringList{QStringLiteral("timeformat 0 0 notify")});

        // The failed set-up call leaves a later file in its own default format.
        openFile();
        QCOMPARE(player->TimeFormat(), quint8(MCI_FORMAT_MILLISECONDS));
    }

    void failedOpenKeepsStateAndFileName_data() {
        QTest::addColumn<bool>("openFirst");
        QTest::newRow("closed before") << false;
        QTest::newRow("open before") << true;
    }
    void failedOpenKeepsStateAndFileName() {
        QFETCH(bool, openFirst);
        if (openFirst)
            openFile();
        layer->setOpenFailure(QStringLiteral("bozuk.mp3"), 999, QStringLiteral("Bozuk dosya"));
        QSignalSpy applied(player.get(), &MediaPlayerDevice::allowedButtonsApplied);
        player->setFileName(QStringLiteral("bozuk.mp3"));
        try {
            player->Open();
            QFAIL("no exception");
        } catch (const EMCIDeviceError &e) {
            QCOMPARE(e.message(), QStringLiteral("Bozuk dosya"));
        }
        QVERIFY(!player->IsOpen());
        QCOMPARE(player->MciDevice(), quint16(0));
        QCOMPARE(player->LastError(), quint32(999));
        QCOMPARE(player->ErrorText(), QStringLiteral("Bozuk dosya"));
        QCOMPARE(player->FileName(), QStringLiteral("bozuk.mp3"));
        QCOMPARE(player->AllowedButtons(), TButtonSet(0));
        // Only the close of the earlier device hands buttons to the bar.
        QCOMPARE(applied.count(), openFirst ? 1 : 0);
        QVERIFY(layer->openDevices().isEmpty());
    }

    void openTakesDeviceAndCapabilities() {
        layer->setLength(QStringLiteral("zil.wav"), 12345);
        QSignalSpy applied(player.get(), &MediaPlayerDevice::allowedButtonsApplied);
        openFile();
        QVERIFY(player->IsOpen());
        QCOMPARE(player->MciDevice(), layer->lastOpened());
        QVERIFY(player->MciDevice() != 0);
        QCOMPARE(player->LastError(), quint32(0));
        QCOMPARE(player->StepFrames(), 1234);
        QVERIFY(player->PlayCap());
        QVERIFY(!player->RecordCap() && !player->EjectCap() && !player->VideoCap());
        QVERIFY(!player->StepCap());
        QCOMPARE(player->AllowedButtons(), bits({btPlay, btNext, btPrev}));
        QCOMPARE(applied.count(), 1);
        QCOMPARE(layer->device(player->MciDevice())->element, QStringLiteral("zil.wav"));

        // Playing directly, not through a button, leaves the buttons alone.
        player->Play();
        QCOMPARE(player->AllowedButtons(), bits({btPlay, btNext, btPrev}));
    }

    void allowedButtonsAfterOpen_data() {
        QTest::addColumn<bool>("play");
        QTest::addColumn<bool>("record");
        QTest::addColumn<bool>("eject");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<bool>("stepCap");
        QTest::addColumn<TButtonSet>("expected");
        QTest::newRow("audio") << true << false << false << MCI_DEVTYPE_WAVEFORM_AUDIO << false
                               << bits({btPlay, btNext, btPrev});
        QTest::newRow("recorder") << true << true << false << MCI_DEVTYPE_WAVEFORM_AUDIO << false
                                  << bits({btPlay, btRecord, btNext, btPrev});
        QTest::newRow("vcr") << true << true << true << MCI_DEVTYPE_VCR << true
                             << bits({btPlay, btRecord, btEject, btNext, btPrev, btStep, btBack});
        QTest::newRow("animation") << false << false << false << MCI_DEVTYPE_ANIMATION << true
                                   << bits({btNext, btPrev, btStep, btBack});
        QTest::newRow("digital video") << true << false << false << MCI_DEVTYPE_DIGITAL_VIDEO
                                       << true << bits({btPlay, btNext, btPrev, btStep, btBack});
        QTest::newRow("overlay") << false << false << false << MCI_DEVTYPE_OVERLAY << true
                                 << bits({btNext, btPrev, btStep, btBack});
        QTest::newRow("cd") << true << false << true << MCI_DEVTYPE_CD_AUDIO << false
                            << bits({btPlay, btEject, btNext, btPrev});
    }
    void allowedButtonsAfterOpen() {
        QFETCH(bool, play);
        QFETCH(bool, record);
        QFETCH(bool, eject);
        QFETCH(quint32, type);
        QFETCH(bool, stepCap);
        QFETCH(TButtonSet, expected);
        layer->setCapabilities(play, record, eject, false, type);
        openFile();
        QCOMPARE(player->StepCap(), stepCap);
        QCOMPARE(player->AllowedButtons(), expected);
    }

    void capabilityTheLayerCannotTellIsFalse() {
        layer->setCapabilities(true, true, true, true, MCI_DEVTYPE_VCR);
        layer->setCapabilityUnknown(MediaCapability::CanRecord);
        layer->setCapabilityUnknown(MediaCapability::DeviceType);
        openFile();
        QVERIFY(player->PlayCap());
        QVERIFY(!player->RecordCap());
        QVERIFY(!player->StepCap());
        QCOMPARE(player->LastError(), quint32(0)); // capability requests are not recorded
    }

    void openOnPlayingDeviceMarksPlay() {
        // A shared device may already be playing when it is opened.
        layer->setInitialMode(MCI_MODE_PLAY);
        openFile();
        QCOMPARE(player->AllowedButtons(), bits({btPause, btStop, btNext, btPrev}));
    }

    void openTwiceClosesFirstAndStartsAgain() {
        openFile();
        const quint16 first = player->MciDevice();
        player->Play();
        layer->advance(first, 5000);
        QCOMPARE(player->Position(), 5000);
        openFile();
        QVERIFY(player->MciDevice() != first);
        QVERIFY(!layer->isOpen(first));
        QCOMPARE(player->Position(), 0);
        QVERIFY(layer->commands().contains(QStringLiteral("close %1").arg(first)));
    }

    void openRequestShape_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("shareable");
        QTest::addColumn<QString>("typeName");
        QTest::addColumn<bool>("tmsf");
        QTest::newRow("auto") << int(dtAutoSelect) << false << QString() << false;
        QTest::newRow("wave shareable") << int(dtWaveAudio) << true << "WaveAudio" << false;
        QTest::newRow("cd") << int(dtCDAudio) << false << "CDAudio" << true;
        QTest::newRow("videodisc") << int(dtVideodisc) << false << "Videodisc" << true;
        QTest::newRow("sequencer") << int(dtSequencer) << false << "Sequencer" << false;
    }
    void openRequestShape() {
        QFETCH(int, type);
        QFETCH(bool, shareable);
        QFETCH(QString, typeName);
        QFETCH(bool, tmsf);

        // The request as the layer sees it.
        class Capture : public FakeMediaLayer {
        public:
            MediaOpenRequest seen;
            quint32 open(const MediaOpenRequest &r, quint16 &id) override {
                seen = r;
                return FakeMediaLayer::open(r, id);
            }
        };
        auto fake = std::make_unique<Capture>();
        Capture *capture = fake.get();
        MediaPlayerDevice p(std::move(fake));
        p.setDeviceType(TMPDeviceTypes(type));
        p.setShareable(shareable);
        p.setFileName(QStringLiteral("a.wav"));
        p.Open();
        QCOMPARE(capture->seen.typeName, typeName);
        QCOMPARE(capture->seen.byType, type != dtAutoSelect);
        QCOMPARE(capture->seen.shareable, shareable);
        QCOMPARE(capture->seen.element, QStringLiteral("a.wav"));
        QCOMPARE(capture->commands().contains(
                     QStringLiteral("timeformat %1 10 notify").arg(p.MciDevice())),
                 tmsf);
    }

    void playRewindsOnlyAtTheEnd_data() {
        QTest::addColumn<bool>("autoRewind");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("rewinds");
        QTest::newRow("at end") << true << 60000 << true;
        QTest::newRow("in the middle") << true << 30000 << false;
        QTest::newRow("at start") << true << 0 << false;
        QTest::newRow("at end, no auto-rewind") << false << 60000 << false;
    }
    void playRewindsOnlyAtTheEnd() {
        QFETCH(bool, autoRewind);
        QFETCH(int, position);
        QFETCH(bool, rewinds);
        player->setAutoRewind(autoRewind);
        openFile();
        const quint16 id = player->MciDevice();
        layer->setPosition(id, position);
        layer->clearRequests();
        player->Play();
        QStringList expected;
        if (rewinds)
            expected << QStringLiteral("seek %1 start").arg(id);
        expected << QStringLiteral("play %1 notify").arg(id);
        QCOMPARE(layer->commands(), expected);
        // Without the rewind a device at its end has nothing to play and stays stopped.
        const bool atEnd = position == 60000 && !rewinds;
        QCOMPARE(layer->device(id)->mode, atEnd ? MCI_MODE_STOP : MCI_MODE_PLAY);
    }

    void playFailureIsRecordedNotRaised() {
        openFile();
        layer->failRequest(QStringLiteral("play"), 277);
        player->Play();
        QCOMPARE(player->LastError(), quint32(277));
        QCOMPARE(player->ErrorText(), QStringLiteral("Unknown error code"));
        QVERIFY(player->IsOpen());
    }

    void pauseToggles() {
        openFile();
        const quint16 id = player->MciDevice();
        layer->clearRequests();
        player->Pause(); // stopped: nothing to do
        QCOMPARE(layer->commands(), QStringList());

        player->Play();
        player->Pause();
        QCOMPARE(player->Mode(), quint8(mpPaused));
        player->Pause();
        QCOMPARE(player->Mode(), quint8(mpPlaying));
        QCOMPARE(layer->commands(), (QStringList{QStringLiteral("play %1 notify").arg(id),
                                                 QStringLiteral("pause %1").arg(id),
                                                 QStringLiteral("resume %1 notify").arg(id)}));
    }

    void refusedResumeFallsBackToPlay() {
        openFile();
        const quint16 id = player->MciDevice();
        player->Play();
        player->Pause();
        layer->clearRequests();
        layer->failRequest(QStringLiteral("resume"), 300);
        player->Pause();
        QCOMPARE(layer->commands(), (QStringList{QStringLiteral("resume %1 notify").arg(id),
                                                 QStringLiteral("play %1 notify").arg(id)}));
        QCOMPARE(player->LastError(), quint32(0));
    }

    void stopKeepsDeviceOpenAtItsPosition() {
        openFile();
        const quint16 id = player->MciDevice();
        player->Play();
        layer->advance(id, 2500);
        player->Stop();
        QVERIFY(player->IsOpen());
        QCOMPARE(player->Mode(), quint8(mpStopped));
        QCOMPARE(player->Position(), 2500);

        layer->failRequest(QStringLiteral("stop"), 301);
        player->Stop();
        QCOMPARE(player->LastError(), quint32(301));
        QVERIFY(player->IsOpen());
    }

    void closeEmptiesButtonsAndFailedCloseKeepsDevice() {
        openFile();
        const quint16 id = player->MciDevice();
        layer->failRequest(QStringLiteral("close"), 302);
        player->Close();
        QVERIFY(player->IsOpen());
        QCOMPARE(player->MciDevice(), id);
        QCOMPARE(player->LastError(), quint32(302));
        QVERIFY(player->AllowedButtons() != 0);

        QSignalSpy applied(player.get(), &MediaPlayerDevice::allowedButtonsApplied);
        player->Close();
        QVERIFY(!player->IsOpen());
        QCOMPARE(player->MciDevice(), quint16(0));
        QCOMPARE(player->AllowedButtons(), TButtonSet(0));
        QCOMPARE(applied.count(), 1);
        QVERIFY(!layer->isOpen(id));
    }

    void updateAllowedButtons_data() {
        QTest::addColumn<bool>("recordCap");
        QTest::addColumn<QList<int>>("pressed");
        QTest::addColumn<TButtonSet>("after");
        const TButtonSet np = bits({btNext, btPrev});
        QTest::newRow("play") << false << QList<int>{btPlay}
                              << TButtonSet(np | bits({btPause, btStop}));
        QTest::newRow("record") << true << QList<int>{btRecord}
                                << TButtonSet(np | bits({btPause, btStop}));
        QTest::newRow("play, pause keeps pause and stop")
            << false << QList<int>{btPlay, btPause}
            << TButtonSet(np | bits({btPlay, btPause, btStop}));
        QTest::newRow("play, pause with record")
            << true << QList<int>{btPlay, btPause}
            << TButtonSet(np | bits({btPlay, btRecord, btPause, btStop}));
        for (TMPBtnType b : {btStop, btNext, btPrev, btStep, btBack, btEject}) {
            QTest::addRow("play, %d", int(b))
                << false << QList<int>{btPlay, b} << TButtonSet(np | ButtonBit(btPlay));
            QTest::addRow("play, %d with record", int(b))
                << true << QList<int>{btPlay, b} << TButtonSet(np | bits({btPlay, btRecord}));
        }
    }
    void updateAllowedButtons() {
        QFETCH(bool, recordCap);
        QFETCH(QList<int>, pressed);
        QFETCH(TButtonSet, after);
        layer->setCapabilities(true, recordCap, false, false, MCI_DEVTYPE_WAVEFORM_AUDIO);
        openFile();
        QSignalSpy applied(player.get(), &MediaPlayerDevice::allowedButtonsApplied);
        for (int b : pressed)
            player->UpdateAllowedButtons(TMPBtnType(b));
        QCOMPARE(player->AllowedButtons(), after);
        QCOMPARE(applied.count(), 0); // it never repaints by itself
    }

    void noticeAtEndOfMusic() {
        openFile();
        const quint16 id = player->MciDevice();
        QObject *sender = nullptr;
        int calls = 0;
        player->OnNotify = [&](QObject *s) {
            sender = s;
            ++calls;
        };
        player->setPressedButton(btPlay);
        player->Play();
        player->UpdateAllowedButtons(btPlay);
        QCOMPARE(player->AllowedButtons(), bits({btPause, btStop, btNext, btPrev}));
        QSignalSpy applied(player.get(), &MediaPlayerDevice::allowedButtonsApplied);
        layer->advance(id, 60000);
        QCOMPARE(calls, 0); // posted, not called from inside the layer
        deliverPosted();
        QCOMPARE(calls, 1);
        QCOMPARE(sender, player.get());
        QCOMPARE(player->NotifyResult(), nvSuccessful);
        QCOMPARE(player->AllowedButtons(), bits({btPlay, btNext, btPrev}));
        QCOMPARE(applied.count(), 1);
        QVERIFY(player->IsOpen());
        QCOMPARE(player->Position(), player->Length());
    }

    void noticeResults_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<int>("expected");
        QTest::newRow("superseded") << MCI_NOTIFY_SUPERSEDED << int(nvSuperseded);
        QTest::newRow("aborted") << MCI_NOTIFY_ABORTED << int(nvAborted);
        QTest::newRow("failure") << MCI_NOTIFY_FAILURE << int(nvFailure);
        QTest::newRow("unknown code leaves it") << quint32(77) << int(nvAborted);
    }
    void noticeResults() {
        QFETCH(quint32, code);
        QFETCH(int, expected);
        openFile();
        const quint16 id = player->MciDevice();
        layer->deliverNotice(id, MCI_NOTIFY_ABORTED);
        deliverPosted();
        QCOMPARE(player->NotifyResult(), nvAborted);
        layer->deliverNotice(id, code);
        deliverPosted();
        QCOMPARE(int(player->NotifyResult()), expected);
    }

    // The bells play through the same layer; their notices are not the player bar's.
    void noticesOfAnotherDeviceOnTheLayerAreNotItsOwn() {
        openFile();
        int calls = 0;
        player->OnNotify = [&](QObject *) { ++calls; };
        MediaOpenRequest bell;
        bell.element = QStringLiteral("zil.wav");
        quint16 other = 0;
        QCOMPARE(layer->open(bell, other), 0u);
        layer->play(other, std::nullopt, true);
        layer->advance(other, 60000);
        deliverPosted();
        QCOMPARE(calls, 0);
        layer->deliverNotice(player->MciDevice(), MCI_NOTIFY_SUCCESSFUL);
        deliverPosted();
        QCOMPARE(calls, 1);
    }

    void noticesOfRealRequests() {
        openFile();
        const quint16 id = player->MciDevice();
        player->Play();
        player->Play(); // the second play supersedes the first
        deliverPosted();
        QCOMPARE(player->NotifyResult(), nvSuperseded);
        player->Stop();
        deliverPosted();
        QCOMPARE(player->NotifyResult(), nvAborted);
        Q_UNUSED(id);
    }

    void noticeWhilePlayingOrWithoutAutoEnableLeavesButtons() {
        openFile();
        const quint16 id = player->MciDevice();
        player->Play();
        player->UpdateAllowedButtons(btPlay);
        const TButtonSet playing = player->AllowedButtons();
        layer->deliverNotice(id, MCI_NOTIFY_SUPERSEDED); // still playing
        deliverPosted();
        QCOMPARE(player->AllowedButtons(), playing);

        player->setAutoEnable(false);
        player->Stop();
        deliverPosted();
        QCOMPARE(player->AllowedButtons(), playing);
        QCOMPARE(player->NotifyResult(), nvAborted);
    }

    void noticeAfterCloseGoesToNoDevice() {
        openFile();
        player->Play();
        player->Close(); // the aborted notice arrives after the close
        deliverPosted();
        QCOMPARE(player->NotifyResult(), nvAborted);
        QCOMPARE(player->AllowedButtons(), TButtonSet(0));
        QCOMPARE(player->LastError(), MCIERR_INVALID_DEVICE_ID); // its Mode went to device 0
    }

    void nextAndPreviousByTime() {
        openFile();
        const quint16 id = player->MciDevice();
        layer->clearRequests();
        player->Next();
        QCOMPARE(player->Position(), player->Length());
        player->Previous();
        QCOMPARE(player->Position(), 0);
        QCOMPARE(layer->commands(), (QStringList{QStringLiteral("seek %1 end").arg(id),
                                                 QStringLiteral("seek %1 start").arg(id)}));
    }

    void nextAndPreviousByTracks_data() {
        QTest::addColumn<bool>("next");
        QTest::addColumn<quint32>("position");
        QTest::addColumn<quint32>("target");
        const quint32 t1 = MCI_MAKE_TMSF(1, 0, 0, 0);
        const quint32 t2 = MCI_MAKE_TMSF(2, 3, 10, 0);
        const quint32 t3 = MCI_MAKE_TMSF(3, 7, 20, 0);
        QTest::newRow("next from 1") << true << MCI_MAKE_TMSF(1, 1, 0, 0) << t2;
        QTest::newRow("next on last") << true << MCI_MAKE_TMSF(3, 8, 0, 0) << t3;
        QTest::newRow("previous mid track") << false << MCI_MAKE_TMSF(2, 4, 0, 0) << t2;
        QTest::newRow("previous first second") << false << MCI_MAKE_TMSF(3, 7, 20, 40) << t2;
        QTest::newRow("previous first second of 1") << false << MCI_MAKE_TMSF(1, 0, 0, 5) << t1;
    }
    void nextAndPreviousByTracks() {
        QFETCH(bool, next);
        QFETCH(quint32, position);
        QFETCH(quint32, target);
        for (bool playing : {false, true}) {
            init();
            player->setDeviceType(dtCDAudio);
            openFile(QStringLiteral("cdaudio"));
            const quint16 id = player->MciDevice();
            layer->setTrackStarts(id, {qint32(MCI_MAKE_TMSF(1, 0, 0, 0)),
                                       qint32(MCI_MAKE_TMSF(2, 3, 10, 0)),
                                       qint32(MCI_MAKE_TMSF(3, 7, 20, 0))});
            layer->setPosition(id, qint32(position));
            if (playing)
                layer->setMode(id, MCI_MODE_PLAY);
            player->setPressedButton(next ? btNext : btPrev);
            layer->clearRequests();
            next ? player->Next() : player->Previous();
            const QString expected =
                playing ? QStringLiteral("play %1 from %2 notify").arg(id).arg(qint32(target))
                        : QStringLiteral("seek %1 to %2").arg(id).arg(qint32(target));
            QCOMPARE(layer->commands(), QStringList{expected});
            QCOMPARE(player->PressedButton(), playing ? btPlay : (next ? btNext : btPrev));
            // The start position is used once: the next play goes on from where it is.
            layer->clearRequests();
            player->setAutoRewind(false);
            player->Play();
            QCOMPARE(layer->commands(), QStringList{QStringLiteral("play %1 notify").arg(id)});
        }
    }

    void stepBackEjectNeedCapabilities_data() {
        QTest::addColumn<bool>("capable");
        QTest::newRow("audio device") << false;
        QTest::newRow("video device with door") << true;
    }
    void stepBackEjectNeedCapabilities() {
        QFETCH(bool, capable);
        layer->setCapabilities(true, false, capable, capable, MCI_DEVTYPE_DIGITAL_VIDEO);
        layer->setDefaultLength(1000);
        openFile();
        const quint16 id = player->MciDevice();
        layer->setPosition(id, 1000);
        layer->clearRequests();
        player->Step();
        player->Back();
        player->Eject();
        const QStringList expected = capable ? QStringList{QStringLiteral("seek %1 start").arg(id),
                                                           QStringLiteral("step %1 100").arg(id),
                                                           QStringLiteral("step %1 -100").arg(id),
                                                           QStringLiteral("door %1").arg(id)}
                                             : QStringList{};
        QCOMPARE(layer->commands(), expected);
    }

    void errorTextFallsBack() {
        player->Position();
        QCOMPARE(player->ErrorText(), QStringLiteral("Invalid device id."));
        openFile();
        layer->failRequest(QStringLiteral("stop"), 4242);
        player->Stop();
        QCOMPARE(player->ErrorText(), QStringLiteral("Unknown error code"));
    }

    void autoOpenOnLoad() {
        player->setFileName(QStringLiteral("zil.wav"));
        player->Loaded();
        QVERIFY(!player->IsOpen());
        player->setAutoOpen(true);
        player->Loaded();
        QVERIFY(player->IsOpen());
    }

    void destructionClosesOpenDevice() {
        QList<quint16> closed;
        quint16 id = 0;
        {
            MediaPlayerDevice p(std::make_unique<ClosingWitness>(&closed));
            p.setFileName(QStringLiteral("zil.wav"));
            p.Open();
            p.Play();
            id = p.MciDevice();
        }
        QCOMPARE(closed, QList<quint16>{id});
        deliverPosted(); // the aborted notice of the destroyed player must go nowhere
        closed.clear();
        { MediaPlayerDevice p(std::make_unique<ClosingWitness>(&closed)); }
        QVERIFY(closed.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMediaPlayerDevice)
#include "tst_mediaplayerdevice.moc"
