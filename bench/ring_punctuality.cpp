// Bells on consecutive seconds, rung by the bell clock on its real timer through GStreamer into a
// synchronising fake sink. Prints how long after the beginning of its start second each bell's
// play request was made and its first buffer was rendered, and how many bells were missed or
// rung twice, and how long each sounded against its duration. Every bell has its own file, so
// each play request names the bell it belongs to.
//
// --listen: the bells play through a PulseAudio server started here (PulseServer: a null sink,
// pulseaudio package), and what reaches the sink's monitor is recorded: when each bell is first
// heard. The bells come in cases that a school meets, each with its own schedule and clock:
// ordinary prepared bells, music that is missing or refused (the program's own tone rings), a WAV
// then an MP3 three seconds later, a bell within 3 s of the program's start, the background
// service (the real program, ZIL_PROGRAM --servis), the service again while its phone page takes
// 200 requests a second and 500 silent connections, and the first bell after midnight (the clock
// reads a wall clock set a few seconds before it). Prints every bell's onset and, per case, p50,
// p99 and max (target p99 <= 5 ms, none over 10 ms).
//
// --during-backup: the bells as above, once as usual and once while a backup of a school with
// 300 MB of music is made again and again; both onsets printed side by side. The backup thread
// takes the lowest priority as the program's do; --equal-priority leaves it at the bells'.
#include "Alarm.h"
#include "Backup.h"
#include "BellClock.h"
#include "Clock.h"
#include "FallbackTone.h"
#include "GstMediaLayer.h"
#include "LayerBellPlayer.h"
#include "PhoneAccess.h"
#include "PhoneClient.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "PulseServer.h"
#include "Schedule.h"
#include "ScheduleFixture.h"
#include "ServiceProcess.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

namespace {

constexpr int kBells = 24;
constexpr int kToneMs = 1500;   // longer than a second, so each bell closes a playing one
constexpr int kBellSeconds = 1; // the bells' duration: the player stops each at its position
constexpr int kLeadSeconds = 3;
const char *const kSinkName = "measured";

qint64 wallMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// Written from GStreamer's streaming threads, read on the main thread after the run.
struct FirstBuffers {
    std::mutex mutex;
    std::map<quint16, qint64> at;  // device -> wall time of its first rendered buffer, in µs
    std::map<quint16, qint64> end; // device -> wall time its last rendered buffer runs out
};

struct HandoffTarget {
    FirstBuffers *buffers;
    quint16 device;
};

void onHandoff(GstElement *, GstBuffer *buffer, GstPad *, gpointer data) {
    const qint64 now = wallMicroseconds();
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    auto *target = static_cast<HandoffTarget *>(data);
    std::lock_guard lock(target->buffers->mutex);
    target->buffers->at.try_emplace(target->device, now);
    target->buffers->end[target->device] =
        now + (GST_CLOCK_TIME_IS_VALID(duration) ? qint64(duration / GST_USECOND) : 0);
}

void freeTarget(gpointer data, GClosure *) {
    delete static_cast<HandoffTarget *>(data);
}

// The real layer, with a note of which bell each device plays and when play was asked for.
class MeasuredLayer : public GstMediaLayer {
public:
    MeasuredLayer(FirstBuffers &buffers, const QString &output)
        : GstMediaLayer(output)
        , m_buffers(buffers) {}

    std::map<quint16, int> bellOfDevice;
    std::map<quint16, qint64> silencedAt; // the first stop or close of each device
    std::vector<std::vector<qint64>> playRequests = std::vector<std::vector<qint64>>(kBells);

    quint32 open(const MediaOpenRequest &request, quint16 &deviceId) override {
        const quint32 result = GstMediaLayer::open(request, deviceId);
        if (result != 0)
            return result;
        bool ok = false;
        const int bell =
            QFileInfo(request.element).baseName().section(QLatin1Char('_'), 1).toInt(&ok);
        if (ok)
            bellOfDevice[deviceId] = bell;
        if (GstElement *bin = audioSink(deviceId)) {
            GstElement *sink = GST_IS_BIN(bin) ? gst_bin_get_by_name(GST_BIN(bin), kSinkName)
                                               : GST_ELEMENT(gst_object_ref(bin));
            if (sink && g_signal_lookup("handoff", G_OBJECT_TYPE(sink))) {
                g_signal_connect_data(sink, "handoff", G_CALLBACK(onHandoff),
                                      new HandoffTarget{&m_buffers, deviceId}, freeTarget,
                                      GConnectFlags(0));
            }
            if (sink)
                gst_object_unref(sink);
        }
        return 0;
    }

    quint32 play(quint16 device, std::optional<qint32> from, bool notify) override {
        const qint64 now = wallMicroseconds();
        auto it = bellOfDevice.find(device);
        if (it != bellOfDevice.end() && it->second >= 0 && it->second < kBells)
            playRequests[it->second].push_back(now);
        return GstMediaLayer::play(device, from, notify);
    }

    quint32 stop(quint16 device) override {
        silencedAt.try_emplace(device, wallMicroseconds());
        return GstMediaLayer::stop(device);
    }

    quint32 close(quint16 device) override {
        silencedAt.try_emplace(device, wallMicroseconds());
        return GstMediaLayer::close(device);
    }

private:
    FirstBuffers &m_buffers;
};

// What a sink's monitor carried: when each sound began and ended, in wall µs. A sound ends at
// its last loud sample followed by a tenth of a second of quiet.
class Listener {
public:
    explicit Listener(const QString &sink) {
        const QString description =
            QStringLiteral("pulsesrc device=%1.monitor buffer-time=10000 latency-time=2000 ! "
                           "audio/x-raw,format=S16LE,rate=%2,channels=1 ! appsink name=heard "
                           "sync=false emit-signals=true")
                .arg(sink)
                .arg(kRate);
        m_pipeline = gst_parse_launch(description.toUtf8().constData(), nullptr);
        if (!m_pipeline)
            return;
        GstElement *heard = gst_bin_get_by_name(GST_BIN(m_pipeline), "heard");
        g_signal_connect(heard, "new-sample", G_CALLBACK(onSample), this);
        gst_object_unref(heard);
        gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
    }
    ~Listener() {
        stop();
        if (m_pipeline)
            gst_object_unref(m_pipeline);
    }
    void stop() {
        if (m_pipeline)
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
    }
    bool isValid() const { return m_pipeline; }
    // Read after the pipeline has stopped.
    std::vector<std::pair<qint64, qint64>> sounds;

private:
    static constexpr int kRate = 44100;
    static constexpr int kLoud = 3000;
    static constexpr qint64 kQuietUs = 100000;

    static GstFlowReturn onSample(GstAppSink *sink, gpointer data) {
        auto *self = static_cast<Listener *>(data);
        const qint64 arrived = wallMicroseconds();
        GstSample *sample = gst_app_sink_pull_sample(sink);
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        const auto *values = reinterpret_cast<const qint16 *>(map.data);
        const qint64 count = qint64(map.size / sizeof(qint16));
        for (qint64 i = 0; i < count; ++i) {
            // The buffer's last sample left the sink as it arrived.
            const qint64 at = arrived - (count - i) * 1000000 / kRate;
            if (std::abs(values[i]) < kLoud)
                continue;
            if (self->sounds.empty() || at - self->sounds.back().second > kQuietUs)
                self->sounds.emplace_back(at, at);
            self->sounds.back().second = at;
        }
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    GstElement *m_pipeline = nullptr;
};

struct Spread {
    double p50, p99, max;
};

// Nearest-rank percentiles.
Spread spreadOf(std::vector<double> values) {
    if (values.empty())
        return {NAN, NAN, NAN};
    std::sort(values.begin(), values.end());
    auto rank = [&](double p) {
        const auto n = values.size();
        const auto i = std::size_t(std::ceil(p * double(n)));
        return values[std::clamp<std::size_t>(i, 1, n) - 1];
    };
    return {rank(0.50), rank(0.99), values.back()};
}

// --- --listen: cases heard through a PulseAudio server ---

// A wall clock set `offsetMs` (whole seconds) ahead of the real one.
class ShiftedClock final : public Clock {
public:
    explicit ShiftedClock(qint64 offsetMs)
        : m_offsetMs(offsetMs) {}
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(m_offsetMs); }
    qint64 sleptMsecs() const override { return SystemClock().sleptMsecs(); }

private:
    qint64 m_offsetMs;
};

// One program's ringing parts over GStreamer into `sink`, preparing ahead as the program does.
struct Ringer {
    explicit Ringer(const QString &sink)
        : layer(sink)
        , player(layer)
        , clock(store, player) {
        clock.setPrepareAhead(true);
        clock.ReportError = [this](const QString &message) { errors << message; };
    }
    BellStore store;
    GstMediaLayer layer;
    LayerBellPlayer player;
    BellClock clock;
    QStringList errors;
};

// A bell of a case: when it should be heard on the wall clock, and the group it is counted in.
struct Heard {
    QString group;
    QDateTime wall;
    QString label;
};

void runEventsFor(qint64 ms) {
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(int(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void runEventsUntil(const QDateTime &wall) {
    runEventsFor(QDateTime::currentDateTime().msecsTo(wall));
}

QDateTime wholeSecondsFromNow(int seconds) {
    QDateTime t = QDateTime::currentDateTime().addSecs(seconds);
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return t;
}

constexpr int kCaseSpacing = 3; // seconds between a case's bells: one prepare-ahead apart
constexpr int kCaseBells = 6;

// A program folder with the case's music: a 1.5 s WAV and MP3, and a WAV outside Muzikler.
bool fillFolder(const ScheduleFixture &fx) {
    const QString music = fx.folder() + QStringLiteral("Muzikler/");
    QDir().mkpath(music);
    return makeMediaFile(toneSource(kToneMs) +
                         QStringLiteral("wavenc ! filesink location=\"%1bell.wav\"").arg(music)) &&
           makeMediaFile(toneSource(kToneMs) +
                         QStringLiteral("lamemp3enc target=bitrate cbr=true bitrate=128 ! "
                                        "filesink location=\"%1bell.mp3\"")
                             .arg(music)) &&
           QFile::copy(music + QStringLiteral("bell.wav"),
                       fx.folder() + QStringLiteral("disari.wav"));
}

void insertAt(ScheduleFixture &fx, const QDateTime &at, const QString &music, int sure) {
    fx.insert(GunIDOf(at.date()), QStringLiteral("Ders %1").arg(at.time().toString()),
              StoredTimeForm(at.time()), music, sure);
}

// Bells `musics` rung one after another, kCaseSpacing apart, by one clock started 4 s before.
void ringInProcess(const QString &group, const QStringList &musics, const QStringList &groups,
                   const QString &sink, std::vector<Heard> &heard, QStringList &errors) {
    ScheduleFixture fx;
    if (!fillFolder(fx))
        return;
    setProgramFolder(fx.folder());
    const QDateTime first = wholeSecondsFromNow(5);
    for (int i = 0; i < musics.size(); ++i) {
        const QDateTime at = first.addSecs(i * kCaseSpacing);
        insertAt(fx, at, musics[i], kBellSeconds);
        heard.push_back({groups.isEmpty() ? group : groups[i], at, musics[i]});
    }
    Ringer ringer(sink);
    ringer.store.setFile(fx.databaseFile());
    ringer.clock.Start();
    runEventsUntil(first.addSecs((musics.size() - 1) * kCaseSpacing + 2));
    ringer.clock.Timer().stop();
    errors << ringer.errors;
    setProgramFolder(QString());
}

// Announcements planned at a second, as the day plan sounds them (a recording, no chime here).
void announceInProcess(const QString &sink, std::vector<Heard> &heard, QStringList &errors) {
    ScheduleFixture fx;
    if (!fillFolder(fx))
        return;
    setProgramFolder(fx.folder());
    Ringer ringer(sink);
    ringer.store.setFile(fx.databaseFile());
    const QDateTime first = wholeSecondsFromNow(5);
    for (int i = 0; i < kCaseBells; ++i) {
        Announcement a;
        const QDateTime at = first.addSecs(i * kCaseSpacing);
        a.name = QStringLiteral("Anons %1").arg(i);
        a.sound = QStringLiteral("bell.wav");
        a.gunId = GunIDOf(at.date());
        a.at = at.time();
        a.sure = kBellSeconds;
        ringer.store.addAnnouncement(a);
        heard.push_back({QStringLiteral("planned announcement"), at, a.sound});
    }
    ringer.clock.Start();
    runEventsUntil(first.addSecs((kCaseBells - 1) * kCaseSpacing + 2));
    ringer.clock.Timer().stop();
    errors << ringer.errors;
    setProgramFolder(QString());
}

// The fire alarm sounded by a click at any moment of a second, timed from the click.
void alarmInProcess(const QString &sink, std::vector<Heard> &heard, QStringList &errors) {
    ScheduleFixture fx;
    if (!fillFolder(fx))
        return;
    setProgramFolder(fx.folder());
    ProgramSounds::ensure(ProgramSounds::Sound::KesikSiren);
    Ringer ringer(sink);
    ringer.store.setFile(fx.databaseFile());
    Alarm alarm(ringer.clock, ringer.player, [&errors](const QString &m) { errors << m; });
    ringer.clock.Start();
    for (int i = 0; i < kCaseBells; ++i) {
        runEventsUntil(wholeSecondsFromNow(2).addMSecs(137 * i % 1000));
        heard.push_back({QStringLiteral("alarm, from the click"), QDateTime::currentDateTime(),
                         QStringLiteral("Kesik siren")});
        alarm.sound(Alarm::Kind::Yangin);
        runEventsFor(1500);
        alarm.stop();
    }
    runEventsFor(1000);
    ringer.clock.Timer().stop();
    errors << ringer.errors;
    setProgramFolder(QString());
}

// A bell `lead` ms after a program starts, as Bells::start starts the clock and opens the store.
void ringAfterStart(int leadMs, const QString &sink, std::vector<Heard> &heard,
                    QStringList &errors) {
    ScheduleFixture fx;
    if (!fillFolder(fx))
        return;
    setProgramFolder(fx.folder());
    const QDateTime at = wholeSecondsFromNow(4);
    insertAt(fx, at, QStringLiteral("bell.wav"), kBellSeconds);
    heard.push_back({QStringLiteral("within 3 s of the start"), at,
                     QStringLiteral("start %1 ms before").arg(leadMs)});
    runEventsUntil(at.addMSecs(-leadMs));
    Ringer ringer(sink);
    ringer.clock.Start();
    ringer.store.open(fx.databaseFile());
    runEventsUntil(at.addSecs(2));
    ringer.clock.Timer().stop();
    errors << ringer.errors;
    setProgramFolder(QString());
}

// The first bell after midnight, on a wall clock set so that midnight comes in 5 s.
void ringAtMidnight(const QString &sink, std::vector<Heard> &heard, QStringList &errors) {
    ScheduleFixture fx;
    if (!fillFolder(fx))
        return;
    setProgramFolder(fx.folder());
    const QDateTime wall = wholeSecondsFromNow(5);
    const QDateTime midnight(wall.date().addDays(1), QTime(0, 0));
    const ShiftedClock shifted(wall.msecsTo(midnight));
    insertAt(fx, midnight, QStringLiteral("bell.wav"), kBellSeconds);
    heard.push_back({QStringLiteral("first after midnight"), wall, QStringLiteral("00:00:00")});
    setProgramClock(&shifted);
    {
        Ringer ringer(sink);
        ringer.store.setFile(fx.databaseFile());
        ringer.clock.Start();
        runEventsUntil(wall.addSecs(2));
        ringer.clock.Timer().stop();
        errors << ringer.errors;
    }
    setProgramClock(nullptr);
    setProgramFolder(QString());
}

// The real program as the background service, on a folder of its own, into the default sink.
// With `pageLoad`, its phone page is on and takes 200 requests a second and 500 silent
// connections from another process (bench_phone_page --load) while the bells ring.
void ringInService(std::vector<Heard> &heard, QStringList &errors, QString *pageLoad = nullptr) {
    ScheduleFixture fx;
    const QString program = fx.folder() + QStringLiteral("zil");
    if (!fillFolder(fx) || !QFile::copy(QStringLiteral(ZIL_PROGRAM), program)) {
        errors << QStringLiteral("service: cannot set up its folder");
        return;
    }
    // Far enough ahead that the service has started and the bells are about its ticks.
    const QDateTime first = wholeSecondsFromNow(7);
    for (int i = 0; i < kCaseBells; ++i) {
        const QDateTime at = first.addSecs(i * kCaseSpacing);
        insertAt(fx, at, QStringLiteral("bell.wav"), kBellSeconds);
        heard.push_back({pageLoad ? QStringLiteral("service, phone page under load")
                                  : QStringLiteral("service (zil --servis)"),
                         at, QStringLiteral("bell.wav")});
    }
    const quint16 port = freeLoopbackPort();
    if (pageLoad)
        PhoneAccess::writeSettings(fx.folder(), {true, port, true});
    QProcess service;
    if (!startAsService(service, program)) {
        errors << QStringLiteral("service: did not start");
        return;
    }
    QProcess load;
    load.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (pageLoad) {
        // From before the first bell to after the last.
        runEventsUntil(first.addSecs(-3));
        const qint64 seconds =
            QDateTime::currentDateTime().secsTo(first.addSecs((kCaseBells - 1) * kCaseSpacing + 1));
        load.start(QStringLiteral(ZIL_PHONE_LOAD),
                   {QStringLiteral("--load"), QString::number(port), QString::number(seconds),
                    QStringLiteral("200"), QStringLiteral("500")});
    }
    runEventsUntil(first.addSecs((kCaseBells - 1) * kCaseSpacing + 2));
    if (pageLoad) {
        load.waitForFinished(10000);
        *pageLoad = QString::fromUtf8(load.readAllStandardOutput());
    }
    service.terminate();
    service.waitForFinished(10000);
    const QString log =
        QString::fromUtf8(service.readAllStandardError() + service.readAllStandardOutput());
    for (const QString &line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line.contains(QStringLiteral("çalınamadı")) || line.contains(QStringLiteral("hata")))
            errors << QStringLiteral("service: ") + line;
}

// How long a file's decoded sound stays quiet before its first loud sample, in ms: what any
// player would make late, told apart from the player's own lateness. -1 when it cannot be read.
double leadingQuietMs(const QString &file) {
    GstElement *pipeline = gst_parse_launch(
        QStringLiteral("filesrc location=\"%1\" ! decodebin ! audioconvert ! audioresample ! "
                       "audio/x-raw,format=S16LE,channels=1,rate=44100 ! appsink name=out "
                       "sync=false")
            .arg(file)
            .toUtf8()
            .constData(),
        nullptr);
    if (!pipeline)
        return -1;
    GstElement *out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    double quietMs = -1;
    qint64 samplesBefore = 0;
    while (GstSample *sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        const auto *values = reinterpret_cast<const qint16 *>(map.data);
        const qint64 count = qint64(map.size / sizeof(qint16));
        for (qint64 i = 0; i < count && quietMs < 0; ++i)
            if (std::abs(values[i]) >= 3000)
                quietMs = double(samplesBefore + i) / 44.1;
        samplesBefore += count;
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
        if (quietMs >= 0)
            break;
    }
    gst_object_unref(out);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return quietMs;
}

int listenToCases() {
    PulseServer pulse;
    pulse.useInThisProcess();
    QString why;
    if (!pulse.start(why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    const QString sink = QStringLiteral("pulsesink device=%1").arg(QLatin1String(kSinkName));
    Listener listener{QString::fromLatin1(kSinkName)};
    if (!listener.isValid()) {
        std::fprintf(stderr, "cannot record %s.monitor\n", kSinkName);
        return 1;
    }
    {
        // Plugins are loaded by the first file ever opened; a program that has been running has
        // done that long before its bell.
        ScheduleFixture fx;
        fillFolder(fx);
        GstMediaLayer warm(sink);
        quint16 device = 0;
        MediaOpenRequest request;
        request.element = fx.folder() + QStringLiteral("Muzikler/bell.mp3");
        if (warm.open(request, device) == 0)
            warm.close(device);
    }

    std::vector<Heard> heard;
    QStringList errors;
    const QStringList wav(kCaseBells, QStringLiteral("bell.wav"));
    ringInProcess(QStringLiteral("prepared WAV"), wav, {}, sink, heard, errors);
    ringInProcess(QStringLiteral("music missing (tone)"),
                  QStringList(kCaseBells, QStringLiteral("yok.wav")), {}, sink, heard, errors);
    ringInProcess(QStringLiteral("music refused (tone)"),
                  QStringList(kCaseBells, QStringLiteral("../disari.wav")), {}, sink, heard,
                  errors);
    QStringList pairs, pairGroups;
    for (int i = 0; i < kCaseBells / 2 + 1; ++i) {
        pairs << QStringLiteral("bell.wav") << QStringLiteral("bell.mp3");
        pairGroups << QStringLiteral("WAV of a pair") << QStringLiteral("MP3 3 s after a WAV");
    }
    ringInProcess({}, pairs, pairGroups, sink, heard, errors);
    // The same MP3 with no WAV before it, to tell the file's part from the pair's.
    ringInProcess(QStringLiteral("MP3 alone"), QStringList(3, QStringLiteral("bell.mp3")), {}, sink,
                  heard, errors);
    announceInProcess(sink, heard, errors);
    alarmInProcess(sink, heard, errors);
    for (int leadMs : {400, 900, 1400, 1900, 2400, 2900})
        ringAfterStart(leadMs, sink, heard, errors);
    ringInService(heard, errors);
    QString pageLoad;
    ringInService(heard, errors, &pageLoad);
    for (int i = 0; i < 3; ++i)
        ringAtMidnight(sink, heard, errors);
    listener.stop();

    std::printf("ring_punctuality --listen: bells heard on the monitor of a PulseAudio null sink, "
                "%d ms tone each, %d s duration, real timer\n",
                kToneMs, kBellSeconds);
    std::printf("  onset = first loud sample after the bell's second began, in ms\n");
    QStringList order;
    std::map<QString, std::vector<double>> onsets;
    std::map<QString, int> unheard;
    for (const Heard &bell : heard) {
        if (!order.contains(bell.group))
            order << bell.group;
        const qint64 secondUs = bell.wall.toMSecsSinceEpoch() * 1000;
        QByteArray text = "none";
        for (const auto &[from, until] : listener.sounds) {
            if (from >= secondUs - 500000 && from < secondUs + 1500000) {
                const double ms = double(from - secondUs) / 1000.0;
                onsets[bell.group].push_back(ms);
                text = QByteArray::number(ms, 'f', 2);
                break;
            }
        }
        if (text == "none")
            ++unheard[bell.group];
        std::printf("  %-26s %s  %-24s %10s\n", qPrintable(bell.group),
                    qPrintable(bell.wall.time().toString(QStringLiteral("HH:mm:ss"))),
                    qPrintable(bell.label), text.constData());
    }
    {
        ScheduleFixture fx;
        fillFolder(fx);
        std::printf("  leading quiet of the files as decoded: WAV %.2f ms, MP3 %.2f ms, the "
                    "program's tone %.2f ms\n",
                    leadingQuietMs(fx.folder() + QStringLiteral("Muzikler/bell.wav")),
                    leadingQuietMs(fx.folder() + QStringLiteral("Muzikler/bell.mp3")),
                    leadingQuietMs(FallbackTone::file(kBellSeconds)));
    }
    std::printf("  per case (target p99 <= 5 ms, none over 10 ms):\n");
    for (const QString &group : std::as_const(order)) {
        const std::vector<double> &values = onsets[group];
        const Spread spread = spreadOf(values);
        const auto over =
            std::count_if(values.begin(), values.end(), [](double v) { return v > 10; });
        std::printf("  %-26s n %2zu  p50 %7.2f  p99 %7.2f  max %7.2f  over 10 ms %ld  unheard %d\n",
                    qPrintable(group), values.size(), spread.p50, spread.p99, spread.max,
                    long(over), unheard[group]);
    }
    std::printf("  the phone page meanwhile (bench_phone_page --load):\n%s", qPrintable(pageLoad));
    errors.removeDuplicates();
    for (const QString &error : std::as_const(errors))
        std::printf("  reported: %s\n", qPrintable(error));
    return 0;
}

// One run of the bells on consecutive seconds, starting a few seconds from now.
struct Run {
    std::vector<QDateTime> starts;
    std::vector<QByteArray> playText, bufferText;
    std::vector<double> toPlay, toBuffer, overDuration;
    int missed = 0, doubled = 0, silent = 0;
    QStringList errors;
    int backups = 0; // made while the bells rang
    QString backupFailure;
};

// With `backupMeanwhile`, the staff's "Yedekle" of the whole school runs again and again on a
// thread of its own, as the window runs it, from before the first bell to after the last.
Run ringOnce(QCoreApplication &app, ScheduleFixture &fx, const QString &tone, bool prepare,
             bool backupMeanwhile, bool lowered = true) {
    Run run;
    const int spacing = 1;

    FirstBuffers buffers;
    auto owned = std::make_unique<MeasuredLayer>(
        buffers, QStringLiteral("fakesink sync=true signal-handoffs=true name=%1")
                     .arg(QLatin1String(kSinkName)));
    MeasuredLayer &layer = *owned;
    LayerBellPlayer player(*owned);

    // Plugins are loaded by the first file ever opened; a program that has been running has
    // done that long before its bell.
    {
        quint16 device = 0;
        MediaOpenRequest request;
        request.element = tone;
        if (layer.open(request, device) == 0)
            layer.close(device);
    }

    const QDateTime now = QDateTime::currentDateTime();
    QDateTime first = now.addSecs(kLeadSeconds);
    first.setTime(QTime(first.time().hour(), first.time().minute(), first.time().second()));
    for (int i = 0; i < kBells; ++i) {
        const QDateTime start = first.addSecs(i * spacing);
        run.starts.push_back(start);
        fx.insert(GunIDOf(start.date()), QStringLiteral("Ders %1").arg(i + 1),
                  StoredTimeForm(start.time()), QStringLiteral("bell_%1.wav").arg(i), kBellSeconds);
    }

    std::atomic<bool> ringing{true};
    std::unique_ptr<QThread> backup;
    QTemporaryDir out;
    if (backupMeanwhile) {
        const QString folder = fx.folder();
        const QString file = out.filePath(QStringLiteral("okul.tar"));
        backup.reset(QThread::create([&run, &ringing, folder, file, lowered] {
            // As the program's own backup threads do, unless measuring without it.
            if (lowered)
                Backup::yieldToTheBells();
            while (ringing) {
                try {
                    Backup::make(folder, file);
                    if (ringing)
                        ++run.backups;
                } catch (const ZilError &error) {
                    run.backupFailure = error.message();
                    return;
                }
            }
        }));
        backup->start(QThread::LowPriority);
    }

    BellStore store;
    store.setFile(fx.databaseFile());
    BellClock clock(store, player);
    // --prepare: the next bell's music prepared ahead, as the program does.
    clock.setPrepareAhead(prepare);
    clock.ReportError = [&run](const QString &message) { run.errors << message; };
    clock.Start();
    const qint64 endMs = run.starts.back().toMSecsSinceEpoch() + kToneMs + 1000;
    QTimer::singleShot(int(endMs - QDateTime::currentMSecsSinceEpoch()), &app,
                       &QCoreApplication::quit);
    app.exec();
    clock.Timer().stop();
    player.stop();
    ringing = false;
    if (backup)
        backup->wait();

    std::map<int, qint64> firstBufferOfBell;
    // Sounded: from the first buffer to the stop, or to the end of the last buffer if sooner.
    {
        std::lock_guard lock(buffers.mutex);
        for (const auto &[device, at] : buffers.at) {
            auto it = layer.bellOfDevice.find(device);
            if (it != layer.bellOfDevice.end())
                firstBufferOfBell.try_emplace(it->second, at);
            auto silenced = layer.silencedAt.find(device);
            if (it == layer.bellOfDevice.end() || silenced == layer.silencedAt.end())
                continue;
            const qint64 until = std::min(silenced->second, buffers.end[device]);
            run.overDuration.push_back(double(until - at) / 1000.0 - kBellSeconds * 1000.0);
        }
    }
    for (int i = 0; i < kBells; ++i) {
        const qint64 secondUs = run.starts[i].toMSecsSinceEpoch() * 1000;
        const auto &requests = layer.playRequests[i];
        if (requests.empty())
            ++run.missed;
        if (requests.size() > 1)
            ++run.doubled;
        QByteArray playText = "missed", bufferText = "-";
        if (!requests.empty()) {
            const double ms = double(requests.front() - secondUs) / 1000.0;
            run.toPlay.push_back(ms);
            playText = QByteArray::number(ms, 'f', 2);
            if (requests.size() > 1)
                playText += " (x" + QByteArray::number(qsizetype(requests.size())) + ")";
            auto it = firstBufferOfBell.find(i);
            if (it != firstBufferOfBell.end()) {
                const double bufferMs = double(it->second - secondUs) / 1000.0;
                run.toBuffer.push_back(bufferMs);
                bufferText = QByteArray::number(bufferMs, 'f', 2);
            } else {
                ++run.silent;
                bufferText = "none";
            }
        }
        run.playText.push_back(playText);
        run.bufferText.push_back(bufferText);
    }
    return run;
}

void printSummary(const Run &run, const char *indent) {
    const Spread play = spreadOf(run.toPlay);
    const Spread buffer = spreadOf(run.toBuffer);
    std::printf("%sto play request: p50 %.2f ms, p99 %.2f ms, max %.2f ms (target p99 <= 20 ms)\n",
                indent, play.p50, play.p99, play.max);
    std::printf("%sto first buffer: p50 %.2f ms, p99 %.2f ms, max %.2f ms (target p99 <= 3 ms)\n",
                indent, buffer.p50, buffer.p99, buffer.max);
    const Spread sounded = spreadOf(run.overDuration);
    const double shortest = run.overDuration.empty() ? NAN
                                                     : *std::min_element(run.overDuration.begin(),
                                                                         run.overDuration.end());
    std::printf("%ssounded minus duration: p50 %.2f ms, p99 %.2f ms, min %.2f ms, max %.2f ms "
                "(target within 50 ms)\n",
                indent, sounded.p50, sounded.p99, shortest, sounded.max);
    std::printf(
        "%smissed %d, doubled %d, played without a buffer %d (target 0 missed, 0 doubled)\n",
        indent, run.missed, run.doubled, run.silent);
    for (const QString &error : std::as_const(run.errors))
        std::printf("%serror: %s\n", indent, qPrintable(error));
}

// About 300 MB of music that does not compress, as MP3s do not, named by bells of another
// weekday so that a backup takes it all and none of it rings today.
bool addSchoolMusic(ScheduleFixture &fx, const QString &music) {
    constexpr int files = 100;
    QByteArray bytes(3 * 1024 * 1024, Qt::Uninitialized);
    const int otherDay = (GunIDOf(QDate::currentDate()) + 3) % 7;
    for (int f = 0; f < files; ++f) {
        QRandomGenerator(f + 1).fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / 4);
        const QString name = QStringLiteral("parca-%1.mp3").arg(f, 3, 10, QChar('0'));
        QFile file(music + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
        fx.insert(otherDay, QStringLiteral("Parça %1").arg(f),
                  StoredTimeForm(QTime(8, 0).addSecs(f * 60)), name, 30);
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    gst_init(&argc, &argv);
    if (app.arguments().contains(QStringLiteral("--listen")))
        return listenToCases();

    ScheduleFixture fx;
    if (!fx.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    setProgramFolder(fx.folder());
    const QString music = fx.folder() + QStringLiteral("Muzikler/");
    QDir().mkpath(music);
    const QString tone = music + QStringLiteral("tone.wav");
    if (!makeMediaFile(toneSource(kToneMs) +
                       QStringLiteral("wavenc ! filesink location=\"%1\"").arg(tone)))
        return 1;
    for (int i = 0; i < kBells; ++i)
        QFile::copy(tone, music + QStringLiteral("bell_%1.wav").arg(i));
    const bool prepare = app.arguments().contains(QStringLiteral("--prepare"));

    // --during-backup: the same bells once as usual, then once while the school is backed up.
    if (app.arguments().contains(QStringLiteral("--during-backup"))) {
        if (!addSchoolMusic(fx, music)) {
            std::fprintf(stderr, "cannot write the school's music\n");
            return 1;
        }
        const Run usual = ringOnce(app, fx, tone, prepare, false);
        // --equal-priority: the backup thread left at the bells' priority, to compare.
        const bool lowered = !app.arguments().contains(QStringLiteral("--equal-priority"));
        const Run during = ringOnce(app, fx, tone, prepare, true, lowered);
        std::printf("ring_punctuality --during-backup: %d bells on consecutive seconds, %d ms WAV "
                    "each, GstMediaLayer into fakesink sync=true, real timer; then the same while "
                    "a backup of the school (300 MB of music, .tar) is made again and again\n",
                    kBells, kToneMs);
        std::printf("  ms after the second began   usual:  play request  first buffer   "
                    "during backup:  play request  first buffer\n");
        for (int i = 0; i < kBells; ++i)
            std::printf("  bell %2d                          %12s  %12s                   %12s  "
                        "%12s\n",
                        i + 1, usual.playText[i].constData(), usual.bufferText[i].constData(),
                        during.playText[i].constData(), during.bufferText[i].constData());
        std::printf("  usual:\n");
        printSummary(usual, "    ");
        std::printf(
            "  during backup (%d backups finished while the bells rang, backup thread %s):\n",
            during.backups, lowered ? "at the lowest priority" : "at equal priority");
        printSummary(during, "    ");
        if (!during.backupFailure.isEmpty())
            std::printf("    backup failed: %s\n", qPrintable(during.backupFailure));
        setProgramFolder(QString());
        return 0;
    }

    const Run run = ringOnce(app, fx, tone, prepare, false);
    std::printf("ring_punctuality: %d bells on consecutive seconds, %d ms WAV each, "
                "GstMediaLayer into fakesink sync=true, real timer\n",
                kBells, kToneMs);
    std::printf("  bell  start     play request  first buffer   (ms after the second began)\n");
    for (int i = 0; i < kBells; ++i)
        std::printf("  %4d  %s  %12s  %12s\n", i + 1,
                    qPrintable(run.starts[i].time().toString(QStringLiteral("HH:mm:ss"))),
                    run.playText[i].constData(), run.bufferText[i].constData());
    printSummary(run, "  ");

    setProgramFolder(QString());
    return 0;
}
