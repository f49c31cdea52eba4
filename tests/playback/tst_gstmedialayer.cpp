#include "DayCheck.h"
#include "GstMediaLayer.h"
#include "LayerBellPlayer.h"
#include "MediaPlayerDevice.h"
#include "PulseServer.h"
#include "SoundSettings.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gst/gst.h>

#include <cstring>

namespace {

const QString sink = QStringLiteral("fakesink sync=true");

quint32 statusOf(GstMediaLayer &layer, quint16 id, MediaStatusItem item) {
    quint32 value = 0xDEADBEEF;
    const quint32 result = layer.status(id, item, value);
    if (result != 0)
        qWarning("status request failed: %u", result);
    return value;
}

MediaHeard heardOf(GstMediaLayer &layer, quint16 id, QString &why) {
    quint32 code = 0;
    const MediaHeard heard = layer.heard(id, code);
    why = heard == MediaHeard::No ? layer.errorText(code).value_or(QString()) : QString();
    return heard;
}

} // namespace

class TestGstMediaLayer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString wav, shortWav, mp3, vbrMp3, bareVbrMp3, ogg, flac, lateWav, silentWav;

    QString path(const QString &name) const { return dir.filePath(name); }

    quint16 openOk(GstMediaLayer &layer, const QString &file, bool bell = false) {
        MediaOpenRequest request;
        request.element = file;
        request.fromFirstSound = bell;
        quint16 id = 0;
        const quint32 result = layer.open(request, id);
        if (result != 0)
            qWarning("open %s: %s", qPrintable(file),
                     qPrintable(layer.errorText(result).value_or(QString())));
        return result == 0 ? id : 0;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        wav = path(QStringLiteral("zil.wav"));
        shortWav = path(QStringLiteral("kisa.wav"));
        mp3 = path(QStringLiteral("zil.mp3"));
        vbrMp3 = path(QStringLiteral("degisken.mp3"));
        bareVbrMp3 = path(QStringLiteral("basliksiz.mp3"));
        ogg = path(QStringLiteral("zil.ogg"));
        flac = path(QStringLiteral("zil.flac"));
        QVERIFY(makeMediaFile(toneSource(3000) +
                              QStringLiteral("wavenc ! filesink location=\"%1\"").arg(wav)));
        QVERIFY(makeMediaFile(toneSource(400) +
                              QStringLiteral("wavenc ! filesink location=\"%1\"").arg(shortWav)));
        QVERIFY(makeMediaFile(toneSource(3000) +
                              QStringLiteral("lamemp3enc target=bitrate cbr=true bitrate=128 ! "
                                             "filesink location=\"%1\"")
                                  .arg(mp3)));
        // Loud ticks between long silences: a bit rate that swings from frame to frame, which a
        // length guessed from the first frames would get wrong. Encoders write a Xing header.
        QVERIFY(makeMediaFile(QStringLiteral("audiotestsrc wave=ticks tick-interval=700000000 "
                                             "num-buffers=300 samplesperbuffer=441 ! "
                                             "audio/x-raw,rate=44100,channels=1 ! lamemp3enc "
                                             "target=quality quality=0 ! xingmux ! "
                                             "filesink location=\"%1\"")
                                  .arg(vbrMp3)));
        // The same without the header: only a scan of all frames gives its length.
        QVERIFY(makeMediaFile(QStringLiteral("audiotestsrc wave=ticks tick-interval=700000000 "
                                             "num-buffers=300 samplesperbuffer=441 ! "
                                             "audio/x-raw,rate=44100,channels=1 ! lamemp3enc "
                                             "target=quality quality=0 ! filesink location=\"%1\"")
                                  .arg(bareVbrMp3)));
        QVERIFY(
            makeMediaFile(toneSource(3000) + QStringLiteral("audioconvert ! vorbisenc ! oggmux ! "
                                                            "filesink location=\"%1\"")
                                                 .arg(ogg)));
        QVERIFY(makeMediaFile(
            toneSource(3000) +
            QStringLiteral("audioconvert ! flacenc ! filesink location=\"%1\"").arg(flac)));
        // A recording that opens with 3 s of zeros before 2 s of its tone, and one of zeros only.
        lateWav = path(QStringLiteral("gec.wav"));
        silentWav = path(QStringLiteral("sessiz.wav"));
        QVERIFY(makeMediaFile(
            QStringLiteral("concat name=c ! wavenc ! filesink location=\"%1\" ").arg(lateWav) +
            toneSource(3000, QStringLiteral("wave=silence")) + QStringLiteral("c. ") +
            toneSource(2000) + QStringLiteral("c.")));
        QVERIFY(makeMediaFile(toneSource(2000, QStringLiteral("wave=silence")) +
                              QStringLiteral("wavenc ! filesink location=\"%1\"").arg(silentWav)));
    }

    void openErrors_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        // The Turkish sentence the user reads first, before the system's own text.
        QTest::addColumn<QString>("sentence");
        QTest::newRow("missing") << QStringLiteral("yok.mp3") << QByteArray()
                                 << QStringLiteral("Müzik dosyası bulunamadı (");
        QTest::newRow("not audio")
            << QStringLiteral("metin.mp3") << QByteArray("Bu bir ses dosyası değil.\n").repeated(50)
            << QStringLiteral("Bu dosya çalınabilir bir ses dosyası değil (");
        QTest::newRow("empty") << QStringLiteral("bos.wav") << QByteArray("")
                               << QStringLiteral("Bu dosya çalınabilir bir ses dosyası değil (");
        // Cut off after its header: nothing to hear.
        QFile full(shortWav);
        QVERIFY(full.open(QIODevice::ReadOnly));
        QTest::newRow("header only") << QStringLiteral("baslik.wav") << full.read(44)
                                     << QStringLiteral("Bu dosyada ses yok (");
    }
    void openErrors() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, sentence);
        const QString file = path(name);
        if (name != QLatin1String("yok.mp3")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        GstMediaLayer layer(sink);
        MediaOpenRequest request;
        request.element = file;
        quint16 id = 0;
        const quint32 result = layer.open(request, id);
        QVERIFY(result != 0);
        QCOMPARE(id, quint16(0));
        const auto text = layer.errorText(result);
        QVERIFY(text.has_value());
        qInfo("%s: %s", qPrintable(name), qPrintable(*text));
        QVERIFY(text->startsWith(sentence));
        QVERIFY(text->size() > sentence.size() + 1);

        // Through the player: the same text in the exception, nothing left open.
        MediaPlayerDevice player(std::make_unique<GstMediaLayer>(sink));
        player.setFileName(file);
        try {
            player.Open();
            QFAIL("no exception");
        } catch (const EMCIDeviceError &e) {
            QCOMPARE(e.message(), *text);
        }
        QVERIFY(!player.IsOpen());
    }

    void unknownCodeHasNoText() {
        GstMediaLayer layer(sink);
        QVERIFY(!layer.errorText(123456).has_value());
        quint32 value = 0;
        QCOMPARE(layer.status(0, MediaStatusItem::Position, value), MCIERR_INVALID_DEVICE_ID);
        QCOMPARE(layer.play(7, std::nullopt, true), MCIERR_INVALID_DEVICE_ID);
    }

    void lengthInMilliseconds_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("tolerance");
        // Compressed files carry encoder padding of less than two frames (about 50 ms).
        QTest::newRow("wav") << wav << 3000 << 1;
        QTest::newRow("mp3") << mp3 << 3000 << 60;
        QTest::newRow("vbr mp3") << vbrMp3 << 3000 << 60;
        QTest::newRow("vbr mp3 without header") << bareVbrMp3 << 3000 << 60;
        QTest::newRow("ogg") << ogg << 3000 << 30;
        QTest::newRow("flac") << flac << 3000 << 1;
    }
    void lengthInMilliseconds() {
        QFETCH(QString, file);
        QFETCH(int, expected);
        QFETCH(int, tolerance);
        GstMediaLayer layer(sink);
        const quint16 id = openOk(layer, file);
        QVERIFY(id != 0);
        // A length the header does not tell is counted beside the music, and arrives later.
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(layer, id, MediaStatusItem::Length) != 0, 5000);
        const auto length = qint32(statusOf(layer, id, MediaStatusItem::Length));
        qInfo("length %d ms", length);
        QVERIFY2(qAbs(length - expected) <= tolerance, qPrintable(QString::number(length)));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Mode), MCI_MODE_STOP);
        QCOMPARE(statusOf(layer, id, MediaStatusItem::TimeFormat), MCI_FORMAT_MILLISECONDS);
        QCOMPARE(layer.close(id), quint32(0));
        QCOMPARE(layer.close(id), MCIERR_INVALID_DEVICE_ID);
    }

    void playPauseResumeStop_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("wav") << wav;
        QTest::newRow("mp3") << mp3;
    }
    void playPauseResumeStop() {
        QFETCH(QString, file);
        GstMediaLayer layer(sink);
        const quint16 id = openOk(layer, file);
        QVERIFY(id != 0);
        QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Mode), MCI_MODE_PLAY);
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(layer, id, MediaStatusItem::Position) >= 300, 3000);
        const quint32 playing = statusOf(layer, id, MediaStatusItem::Position);
        QVERIFY2(playing < 2000, qPrintable(QString::number(playing)));

        QCOMPARE(layer.pause(id), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Mode), MCI_MODE_PAUSE);
        const quint32 paused = statusOf(layer, id, MediaStatusItem::Position);
        QVERIFY(paused >= playing);
        QTest::qWait(250);
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), paused);

        QCOMPARE(layer.resume(id, false), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Mode), MCI_MODE_PLAY);
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(layer, id, MediaStatusItem::Position) >= paused + 200,
                                 3000);

        QCOMPARE(layer.stop(id), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Mode), MCI_MODE_STOP);
        const quint32 stopped = statusOf(layer, id, MediaStatusItem::Position);
        QVERIFY(stopped >= paused + 200);
        QTest::qWait(250);
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), stopped);
        QCOMPARE(layer.resume(id, false), MCIERR_DEVICE_NOT_READY); // only a paused device
    }

    void seekAndPlayFrom() {
        GstMediaLayer layer(sink);
        const quint16 id = openOk(layer, wav);
        QVERIFY(id != 0);
        QCOMPARE(layer.seek(id, MediaSeek::To, 1234), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), quint32(1234));
        QCOMPARE(layer.seek(id, MediaSeek::ToEnd), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), quint32(3000));
        QCOMPARE(layer.seek(id, MediaSeek::ToStart), quint32(0));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), quint32(0));
        QCOMPARE(layer.seek(id, MediaSeek::To, 5000), MCIERR_OUTOFRANGE);

        QCOMPARE(layer.play(id, 2000, false), quint32(0));
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(layer, id, MediaStatusItem::Position) >= 2100, 3000);
    }

    void endOfStream() {
        GstMediaLayer layer(sink);
        QSignalSpy notices(&layer, &MediaLayer::notice);
        QThread *noticeThread = nullptr;
        connect(&layer, &MediaLayer::notice, this,
                [&] { noticeThread = QThread::currentThread(); });
        const quint16 id = openOk(layer, shortWav);
        QVERIFY(id != 0);
        QCOMPARE(layer.play(id, std::nullopt, true), quint32(0));
        QTRY_COMPARE_WITH_TIMEOUT(notices.count(), 1, 5000);
        QCOMPARE(notices.at(0).at(0).value<quint16>(), id);
        QCOMPARE(notices.at(0).at(1).value<quint32>(), MCI_NOTIFY_SUCCESSFUL);
        QCOMPARE(noticeThread, QThread::currentThread());
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Mode), MCI_MODE_STOP);
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Position), quint32(400));
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Length), quint32(400));

        // Played to its end, a play without a start position has nothing left to play.
        QCOMPARE(layer.play(id, std::nullopt, true), quint32(0));
        QTRY_COMPARE_WITH_TIMEOUT(notices.count(), 2, 1000);
        QCOMPARE(notices.at(1).at(1).value<quint32>(), MCI_NOTIFY_SUCCESSFUL);
    }

    void noticesOfInterruptedPlay_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<quint32>("code");
        QTest::newRow("play again") << "play" << MCI_NOTIFY_SUPERSEDED;
        QTest::newRow("stop") << "stop" << MCI_NOTIFY_ABORTED;
        QTest::newRow("pause") << "pause" << MCI_NOTIFY_ABORTED;
        QTest::newRow("seek") << "seek" << MCI_NOTIFY_ABORTED;
        QTest::newRow("close") << "close" << MCI_NOTIFY_ABORTED;
    }
    void noticesOfInterruptedPlay() {
        QFETCH(QString, request);
        QFETCH(quint32, code);
        GstMediaLayer layer(sink);
        QSignalSpy notices(&layer, &MediaLayer::notice);
        const quint16 id = openOk(layer, wav);
        QVERIFY(id != 0);
        QCOMPARE(layer.play(id, std::nullopt, true), quint32(0));
        if (request == QLatin1String("play"))
            QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
        else if (request == QLatin1String("stop"))
            QCOMPARE(layer.stop(id), quint32(0));
        else if (request == QLatin1String("pause"))
            QCOMPARE(layer.pause(id), quint32(0));
        else if (request == QLatin1String("seek"))
            QCOMPARE(layer.seek(id, MediaSeek::To, 500), quint32(0));
        else
            QCOMPARE(layer.close(id), quint32(0));
        QCOMPARE(notices.count(), 0); // posted: never inside the request
        QTRY_COMPARE_WITH_TIMEOUT(notices.count(), 1, 2000);
        QCOMPARE(notices.at(0).at(1).value<quint32>(), code);
        QTest::qWait(100);
        QCOMPARE(notices.count(), 1);
    }

    void playerOverGstreamer() {
        MediaPlayerDevice player(std::make_unique<GstMediaLayer>(sink));
        player.SetTimeFormat(MCI_FORMAT_MILLISECONDS); // nothing open yet: recorded failure
        QVERIFY(player.LastError() != 0);
        player.setFileName(shortWav);
        player.Open();
        QVERIFY(player.IsOpen());
        QCOMPARE(player.Length(), 400);
        QCOMPARE(player.StepFrames(), 40);
        QVERIFY(player.PlayCap());
        QVERIFY(!player.RecordCap() && !player.EjectCap() && !player.VideoCap());
        QCOMPARE(player.AllowedButtons(),
                 TButtonSet(ButtonBit(btPlay) | ButtonBit(btNext) | ButtonBit(btPrev)));
        int notices = 0;
        player.OnNotify = [&](QObject *) { ++notices; };
        player.Play();
        QCOMPARE(player.Mode(), quint8(mpPlaying));
        QTRY_COMPARE_WITH_TIMEOUT(notices, 1, 5000);
        QCOMPARE(player.NotifyResult(), nvSuccessful);
        QCOMPARE(player.Mode(), quint8(mpStopped));
        QCOMPARE(player.Position(), player.Length());

        // A second play starts again from the beginning.
        player.Play();
        QCOMPARE(player.Mode(), quint8(mpPlaying));
        QVERIFY(player.Position() < 300);
        player.Stop();
        QVERIFY(player.IsOpen());
        player.Close();
        QVERIFY(!player.IsOpen());
        QCOMPARE(player.LastError(), quint32(0));
    }

    void preparedFileIsTakenOverUnlessReplaced() {
        QTRY_COMPARE_WITH_TIMEOUT(GstMediaLayer::livePipelines(), 0, 3000);
        const QString file = path(QStringLiteral("hazir.wav"));
        QVERIFY(QFile::copy(shortWav, file));
        {
            GstMediaLayer layer(sink);
            QSignalSpy notices(&layer, &MediaLayer::notice);
            layer.prepare(file);
            quint16 id = openOk(layer, file, true);
            QCOMPARE(layer.preparedOpens(), 1);
            QCOMPARE(statusOf(layer, id, MediaStatusItem::Length), quint32(400));
            QCOMPARE(layer.play(id, std::nullopt, true), quint32(0));
            QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 1, 5000);
            QCOMPARE(notices.first().at(1).toUInt(), MCI_NOTIFY_SUCCESSFUL);
            QCOMPARE(layer.close(id), quint32(0));

            // New music copied over the prepared file: the open plays what is there now.
            layer.prepare(file);
            QTest::qWait(500); // prerolled on the old music by now
            QVERIFY(QFile::remove(file));
            QVERIFY(QFile::copy(wav, file));
            id = openOk(layer, file, true);
            QCOMPARE(layer.preparedOpens(), 1);
            QCOMPARE(statusOf(layer, id, MediaStatusItem::Length), quint32(3000));
            QCOMPARE(layer.close(id), quint32(0));

            layer.prepare(mp3); // never opened
        }
        QTRY_COMPARE_WITH_TIMEOUT(GstMediaLayer::livePipelines(), 0, 3000);
    }

    // A bell begins at the first audible sample, prepared or not; the player bar plays the file
    // as it is.
    void bellStartsAtItsFirstSound_data() {
        QTest::addColumn<bool>("prepared");
        QTest::newRow("prepared") << true;
        QTest::newRow("opened at its second") << false;
    }
    void bellStartsAtItsFirstSound() {
        QFETCH(bool, prepared);
        GstMediaLayer layer(sink);
        if (prepared) {
            layer.prepare(lateWav);
            QTest::qWait(500);
        }
        MediaOpenRequest request;
        request.element = lateWav;
        request.fromFirstSound = true;
        quint16 id = 0;
        QCOMPARE(layer.open(request, id), quint32(0));
        QCOMPARE(layer.preparedOpens(), prepared ? 1 : 0);
        // Samples that reach the output before the first one above -60 dBFS.
        struct Count {
            qint64 quietBefore = 0;
            bool loud = false;
        } count;
        GstPad *pad = gst_element_get_static_pad(layer.audioSink(id), "sink");
        QVERIFY(pad);
        const auto probe = [](GstPad *, GstPadProbeInfo *info, gpointer data) {
            auto &c = *static_cast<Count *>(data);
            GstMapInfo map;
            if (c.loud || !gst_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), &map, GST_MAP_READ))
                return GST_PAD_PROBE_OK;
            const auto *samples = reinterpret_cast<const qint16 *>(map.data);
            for (gsize i = 0; i < map.size / 2 && !c.loud; ++i) {
                c.loud = std::abs(samples[i]) > 32;
                c.quietBefore += c.loud ? 0 : 1;
            }
            gst_buffer_unmap(GST_PAD_PROBE_INFO_BUFFER(info), &map);
            return GST_PAD_PROBE_OK;
        };
        // From the buffer after the prerolled one: a file played from its start would still be
        // in its zeros there.
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, probe, &count, nullptr);
        QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
        QTRY_VERIFY_WITH_TIMEOUT(count.loud, 3000);
        gst_object_unref(pad);
        QVERIFY2(count.quietBefore < 44100 / 200, qPrintable(QString::number(count.quietBefore)));
        QVERIFY(statusOf(layer, id, MediaStatusItem::Position) < 1000);
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Length), quint32(2000));
        QCOMPARE(layer.close(id), quint32(0));

        // The player bar's device shows the file whole.
        id = openOk(layer, lateWav);
        QCOMPARE(statusOf(layer, id, MediaStatusItem::Length), quint32(5000));
        QCOMPARE(layer.close(id), quint32(0));
    }

    // A bell's length counts from its first sound.
    void bellLengthCountsFromItsFirstSound() {
        GstMediaLayer layer(sink);
        LayerBellPlayer player(layer);
        QSignalSpy finished(&player, &BellPlayer::finished);
        player.prepare(lateWav);
        QTest::qWait(500);
        QElapsedTimer sounding;
        sounding.start();
        QCOMPARE(player.play(lateWav, 1), std::nullopt);
        QVERIFY(finished.wait(5000));
        QVERIFY2(sounding.elapsed() >= 900, qPrintable(QString::number(sounding.elapsed())));
        QVERIFY2(qAbs(player.position() - 1000) <= LayerBellPlayer::StopSlackMs + 50,
                 qPrintable(QString::number(player.position())));
    }

    // Zeros from end to end: no bell plays it, the player bar still opens it, and the morning's
    // check names it.
    void silentFileIsNoBell() {
        GstMediaLayer layer(sink);
        LayerBellPlayer player(layer);
        const std::optional<QString> failure = player.play(silentWav, 5);
        QVERIFY(failure);
        QVERIFY2(failure->contains(QStringLiteral("sessiz")), qPrintable(*failure));
        const quint16 id = openOk(layer, silentWav);
        QVERIFY(id != 0);
        QCOMPARE(layer.close(id), quint32(0));
        QVERIFY2(DayCheck::problemWith(silentWav).contains(QStringLiteral("sessiz")),
                 qPrintable(DayCheck::problemWith(silentWav)));
        QCOMPARE(DayCheck::problemWith(lateWav), QString());
    }

    // A bell at a volume under the school's ceiling, fading over its last second, played into a
    // file: the samples themselves carry the level from the first one and the glide to silence.
    void levelAndFadeReachTheSamples() {
        const QString tone = path(QStringLiteral("bes.wav"));
        const QString heard = path(QStringLiteral("duyulan.raw"));
        QVERIFY(makeMediaFile(toneSource(5000) +
                              QStringLiteral("wavenc ! filesink location=\"%1\"").arg(tone)));
        const auto samplesOf = [](const QString &file, qint64 skip) {
            QFile f(file);
            QList<qint16> samples;
            if (!f.open(QIODevice::ReadOnly))
                return samples;
            const QByteArray bytes = f.readAll().mid(skip);
            samples.resize(bytes.size() / 2);
            std::memcpy(samples.data(), bytes.constData(), size_t(samples.size()) * 2);
            return samples;
        };
        const auto peak = [](const QList<qint16> &samples, qsizetype from, qsizetype count) {
            int top = 0;
            for (qint16 s : samples.mid(from, count))
                top = std::max(top, std::abs(int(s)));
            return top;
        };
        const QList<qint16> recorded = samplesOf(tone, 44); // after the WAV header
        const double source = peak(recorded, 0, recorded.size());
        QVERIFY(source > 10000);
        {
            GstMediaLayer layer(QStringLiteral("audioconvert ! audio/x-raw,format=S16LE,"
                                               "channels=1 ! filesink sync=true location=\"%1\"")
                                    .arg(heard));
            LayerBellPlayer player(layer);
            SoundSettings::Values levels;
            levels.ceiling = 50;
            player.setStyle([&levels](SoundKind) {
                return SoundStyle{levels.effective(SoundSettings::Kind::Bell), {}};
            });
            QSignalSpy finished(&player, &BellPlayer::finished);
            QCOMPARE(player.play(tone, 4), std::nullopt);
            QVERIFY(finished.wait(8000));
        }
        // The file is complete once its pipeline has gone.
        QTRY_COMPARE_WITH_TIMEOUT(GstMediaLayer::livePipelines(), 0, 3000);
        const QList<qint16> out = samplesOf(heard, 0);
        constexpr int window = 4410; // 100 ms
        const auto level = [&](int tenth) {
            return peak(out, qsizetype(tenth) * window, window) / source;
        };
        const double first = peak(out, 0, 441) / source;
        double bodyLow = 1, bodyHigh = 0;
        for (int t = 0; t < 29; ++t) {
            bodyLow = std::min(bodyLow, level(t));
            bodyHigh = std::max(bodyHigh, level(t));
        }
        const int tenths = int(out.size() / window);
        qInfo("%.2f s heard; first 10 ms at %.3f, body %.3f-%.3f, at 3.5 s %.3f, last 100 ms %.3f "
              "of the source",
              out.size() / 44100.0, first, bodyLow, bodyHigh, level(35), level(tenths - 1));
        QVERIFY2(tenths >= 38 && tenths <= 42, qPrintable(QString::number(tenths)));
        QVERIFY(first > 0.4 && first < 0.55);
        QVERIFY(bodyLow > 0.45 && bodyHigh < 0.55);
        // Halfway through the glide; a timer held up on a busy machine starts it a little late.
        QVERIFY(level(35) > 0.05 && level(35) < 0.45);
        QVERIFY(level(tenths - 1) < 0.1);
        for (int t = 31; t < tenths; ++t)
            QVERIFY2(level(t) <= level(t - 1) + 0.02, qPrintable(QString::number(t)));
    }

    // Outputs by name through a sound server of the test's own: listed, played through, and one
    // that is not there gives way to the default output, which still plays.
    void namedOutputsAndTheirFallback() {
        PulseServer pulse;
        pulse.useInThisProcess();
        QString why;
        QVERIFY2(pulse.start(why), qPrintable(why));
        const QList<SoundOutput> outputs = GstMediaLayer::outputs();
        QStringList listed;
        for (const SoundOutput &o : outputs)
            listed << o.name + QLatin1Char('=') + o.description;
        QVERIFY2(listed.contains(QStringLiteral("ikinci=Koridor")), qPrintable(listed.join(',')));
        QVERIFY2(listed.size() == 2, qPrintable(listed.join(',')));

        GstMediaLayer layer(QStringLiteral("autoaudiosink"));
        MediaOpenRequest request;
        request.element = wav;
        request.fromFirstSound = true;
        for (const QString &name : {QStringLiteral("ikinci"), QStringLiteral("yok")}) {
            request.output = name;
            quint16 id = 0;
            QCOMPARE(layer.open(request, id), quint32(0));
            QCOMPARE(layer.output(id), name == QLatin1String("yok") ? QString() : name);
            QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
            QTRY_COMPARE(heardOf(layer, id, why), MediaHeard::Yes);
            QCOMPARE(layer.close(id), quint32(0));
        }
    }

    // The program's own output, autoaudiosink, against a sound server of the test's own.
    void noOutputAndAnOutputLostAndBack() {
        PulseServer pulse;
        pulse.useInThisProcess();
        const QString noOutput = QStringLiteral("ses çıkışı yok");
        const QString automatic = QStringLiteral("autoaudiosink");
        QString why;
        MediaOpenRequest request;
        request.element = wav;
        request.fromFirstSound = true;
        quint16 id = 0;

        // No server: autoaudiosink falls back to a fake sink, which is no output. A fake sink
        // named outright stays the test's choice.
        QCOMPARE(GstMediaLayer::outputProblem(automatic), noOutput);
        QCOMPARE(GstMediaLayer::outputProblem(sink), QString());
        GstMediaLayer layer(automatic);
        QCOMPARE(layer.errorText(layer.open(request, id)), noOutput);

        QVERIFY2(pulse.start(why), qPrintable(why));
        QCOMPARE(GstMediaLayer::outputProblem(automatic), QString());
        id = openOk(layer, wav);
        QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
        QTRY_COMPARE(heardOf(layer, id, why), MediaHeard::Yes);
        QCOMPARE(layer.close(id), quint32(0));

        // Prepared, then the server ends before the bell: the play is accepted, and not heard.
        layer.prepare(wav);
        QTest::qWait(300);
        pulse.kill();
        const quint32 opened = layer.open(request, id);
        if (opened == 0) {
            QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
            QTRY_COMPARE(heardOf(layer, id, why), MediaHeard::No);
        } else {
            why = layer.errorText(opened).value_or(QString());
        }
        QVERIFY2(why.startsWith(noOutput), qPrintable(why));

        // Back: the next open, right after the dead one is closed, makes a fresh output.
        QVERIFY2(pulse.start(why), qPrintable(why));
        if (opened == 0)
            QCOMPARE(layer.close(id), quint32(0));
        id = openOk(layer, wav);
        QVERIFY(id != 0);
        QCOMPARE(layer.play(id, std::nullopt, false), quint32(0));
        QTRY_COMPARE(heardOf(layer, id, why), MediaHeard::Yes);
    }
};

QTEST_GUILESS_MAIN(TestGstMediaLayer)
#include "tst_gstmedialayer.moc"
