#include "GstMediaLayer.h"

#include "FirstSound.h"
#include "PipelineWorker.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <gst/audio/gstaudiobasesink.h>
#include <gst/controller/gstdirectcontrolbinding.h>
#include <gst/controller/gstinterpolationcontrolsource.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>

namespace {

constexpr quint32 MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
// Codes for GStreamer's own texts are handed out from here on.
constexpr quint32 kFirstTextCode = MCIERR_BASE + 512;

// playbin's flags: audio only, so a file carrying cover art or video never asks for a video
// window. No software volume: GStreamer 1.22's playsink keeps its volume element alive after
// the pipeline is gone, a few kilobytes for every bell; our own volume element sits in the sink.
constexpr guint kPlayFlagAudio = 0x02;

constexpr GstClockTime kStateWait = GstClockTime(GstMediaLayer::kPrerollTimeoutMs) * GST_MSECOND;
// A scan for the length runs beside the playing music, so it may take its time on a long file.
constexpr GstClockTime kScanWait = 120 * GST_SECOND;
// How long the layer's destructor lets pipelines being torn down finish.
constexpr int kTeardownWaitMs = 2000;

// A sound output keeps a short buffer and plays what reaches it at once. Kept in step with its
// clock instead, an output whose pipeline waited prepared places the first sample as far ahead as
// it waited, since that clock runs from the moment the output was opened (measured through
// PulseAudio: a bell prepared 3 s early sounded 3 s late). The position stays what has been
// heard, within the short buffer, so a bell still stops at its length.
constexpr gint64 kOutputBufferUs = 50000;
constexpr gint64 kOutputPeriodUs = 10000;

void setUpOutput(GstElement *element) {
    if (GST_IS_AUDIO_BASE_SINK(element))
        g_object_set(element, "sync", FALSE, "buffer-time", kOutputBufferUs, "latency-time",
                     kOutputPeriodUs, nullptr);
}

void onOutputAdded(GstBin *, GstBin *, GstElement *element, gpointer) {
    setUpOutput(element);
}

// An automatic output (autoaudiosink) makes its real sink only when it starts; that one is
// set up as it is added.
void setUpOutputs(GstElement *sink) {
    if (!GST_IS_BIN(sink)) {
        setUpOutput(sink);
        return;
    }
    g_signal_connect(sink, "deep-element-added", G_CALLBACK(onOutputAdded), nullptr);
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(sink));
    const auto setUp = [](const GValue *item, gpointer) {
        setUpOutput(GST_ELEMENT(g_value_get_object(item)));
    };
    gst_iterator_foreach(it, setUp, nullptr);
    gst_iterator_free(it);
}

std::atomic<int> livePlaybins{0};

// Errors of sound outputs seen so far by any pipeline of the process. PulseAudio's sinks share
// one connection per server: a pipeline made before a loss holds the dead one, and every sink
// made while it is held falls back to a fake sink. A pipeline prepared before the latest loss is
// therefore not played.
std::atomic<quint64> outputLosses{0};

void playbinFreed(gpointer, GObject *) {
    --livePlaybins;
}

// What tells a file changed on disk from the one a pipeline was prepared on.
struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    bool operator==(const FileStamp &) const = default;
};

std::optional<FileStamp> stampOf(const QString &path) {
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(file, error);
    if (error)
        return std::nullopt;
    stamp.modified = std::filesystem::last_write_time(file, error);
    if (error)
        return std::nullopt;
    return stamp;
}

void initGstreamerOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!gst_is_initialized())
            gst_init(nullptr, nullptr);
    });
}

} // namespace

// What the bus sync handler of one pipeline shares with the GUI thread. GStreamer owns one
// reference through the handler's user data; the device owns the other.
struct BusContext {
    std::mutex mutex;
    GstMediaLayer *layer = nullptr; // cleared under the mutex when the device goes away
    quint16 device = 0;
    // Tells this pipeline's messages from those of an earlier one that had the same device id,
    // even when the new pipeline happens to sit at the old one's address.
    quint64 serial = 0;
    QString firstError;           // GStreamer's text of the first error, for open to report
    GstElement *output = nullptr; // the audio sink, held by the pipeline
    // The sink is a sound server's output by name: its failure is that output's, not the loss
    // of the server, so the prepared pipelines stay good.
    bool namedOutput = false;
    bool errorSeen = false;
    std::condition_variable errorArrived;
    // The outcome of open's preroll, set by the worker.
    bool prerolled = false;
    GstStateChangeReturn prerollChange = GST_STATE_CHANGE_FAILURE;
    std::condition_variable prerollDone;
    // Of a pipeline that starts at its first sound: where that is, or that there is none.
    gint64 firstSoundNs = 0;
    bool silent = false;
    // Set when the device goes away, so a search for the first sound stops early.
    std::atomic<bool> dropped{false};
};

// A length measured by parsing the whole file, beside the playing music.
struct LengthScan {
    static constexpr qint32 kRunning = -2;
    std::atomic<qint32> result{kRunning}; // -1 when the scan failed
    std::atomic<bool> cancelled{false};
};

struct GstMediaLayer::Device {
    GstElement *pipeline = nullptr;
    GstElement *audioSink = nullptr; // held by the pipeline
    std::shared_ptr<BusContext> context;
    std::unique_ptr<PipelineWorker> worker; // every state change of the pipeline
    QString file;
    std::optional<FileStamp> stamp; // of a prepared device: the file it was prepared on
    std::shared_ptr<LengthScan> scan;
    std::unique_ptr<PipelineWorker> scanWorker;
    enum class Mode { Stopped, Playing, Paused } mode = Mode::Stopped;
    bool atEnd = false;
    bool notifyPending = false;
    qint32 lastPosition = 0;
    qint32 duration = -1;
    quint64 outputLossesSeen = 0; // outputLosses when the pipeline was made
    qint32 playedFrom = 0;        // the position of the last play
    bool heard = false;           // since the last play
    // Silence before the first sound, left out of the position and the length.
    gint64 skippedNs = 0;
    GstElement *gain = nullptr; // the volume element, held by the pipeline
    double volume = 1.0;        // the last volume set, or where the last glide goes
    bool fromFirstSound = false;
    QString askedOutput; // the output the pipeline was built for
    QString output;      // the output it plays through: askedOutput, or empty after a fallback
};

namespace {
// GStreamer and our own fixed texts are English; the user reads a Turkish sentence first and
// keeps the system's words for whoever looks into it.
QString inTurkish(const QString &turkish, const QString &system) {
    return system.isEmpty() ? turkish : turkish + QStringLiteral(" (") + system + QLatin1Char(')');
}

QString noOutput() {
    return QStringLiteral("ses çıkışı yok");
}

QString silentFile() {
    return QStringLiteral("Dosya sessiz: dosyada duyulur bir ses yok");
}

QString deviceNotReady() {
    return inTurkish(QStringLiteral("Ses aygıtı hazır değil"),
                     QStringLiteral("The media device is not ready."));
}

// What a pipeline's error means for the bell, told by its domain and code rather than its
// text, which GStreamer words as it likes.
QString pipelineErrorText(const GError *error) {
    const QString system = QString::fromUtf8(error ? error->message : "");
    if (!error)
        return inTurkish(QStringLiteral("Müzik çalınamadı"), system);
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return inTurkish(QStringLiteral("Müzik dosyası bulunamadı"), system);
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_READ:
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
            return inTurkish(QStringLiteral("Müzik dosyası okunamadı"), system);
        case GST_RESOURCE_ERROR_BUSY:
            return inTurkish(QStringLiteral("Ses aygıtı başka bir program tarafından kullanılıyor"),
                             system);
        default:
            return inTurkish(QStringLiteral("Ses çıkışı kullanılamadı"), system);
        }
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
        case GST_STREAM_ERROR_NOT_IMPLEMENTED:
            return inTurkish(QStringLiteral("Bu dosya çalınabilir bir ses dosyası değil"), system);
        default:
            return inTurkish(QStringLiteral("Müzik dosyası çalınamadı"), system);
        }
    }
    return inTurkish(QStringLiteral("Müzik çalınamadı"), system);
}
} // namespace

// The one path from GStreamer's threads to the GUI thread.
class GstBusRelay {
public:
    static GstBusSyncReply onBusSync(GstBus *, GstMessage *message, gpointer data);
    // Hands an event to the GUI thread, unless the device has gone. Called with the mutex held.
    static void post(BusContext &context, GstMediaLayer::BusEvent event);
    // The first error of a burst, with its text; false for the later ones.
    static bool firstError(BusContext &context, const QString &text);
    // Queued on the device's thread; a failure arrives as an error.
    static void changeState(GstMediaLayer::Device &d, GstState state);
};

void GstBusRelay::post(BusContext &context, GstMediaLayer::BusEvent event) {
    if (GstMediaLayer *layer = context.layer) {
        const quint16 device = context.device;
        const quint64 serial = context.serial;
        // Queued to the layer: the functor is dropped if the layer is gone by then.
        QMetaObject::invokeMethod(
            layer, [layer, device, serial, event] { layer->handleBusEvent(device, serial, event); },
            Qt::QueuedConnection);
    }
}

bool GstBusRelay::firstError(BusContext &context, const QString &text) {
    if (context.errorSeen)
        return false;
    context.errorSeen = true;
    context.firstError = text;
    context.errorArrived.notify_all();
    return true;
}

GstBusSyncReply GstBusRelay::onBusSync(GstBus *, GstMessage *message, gpointer data) {
    BusContext &context = **static_cast<std::shared_ptr<BusContext> *>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS: {
        std::lock_guard lock(context.mutex);
        post(context, GstMediaLayer::BusEvent::EndOfStream);
        break;
    }
    case GST_MESSAGE_ERROR: {
        GError *error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        // An output that goes away mid-play (its sound server ended) says so only here.
        const bool outputLost =
            error && error->domain == GST_RESOURCE_ERROR &&
            error->code != GST_RESOURCE_ERROR_BUSY && context.output &&
            gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(context.output));
        const QString text = outputLost ? inTurkish(noOutput(), QString::fromUtf8(error->message))
                                        : pipelineErrorText(error);
        g_clear_error(&error);
        if (outputLost && !context.namedOutput)
            ++outputLosses;
        std::lock_guard lock(context.mutex);
        // Only the first of a burst of errors is reported.
        if (firstError(context, text))
            post(context, GstMediaLayer::BusEvent::Error);
        break;
    }
    case GST_MESSAGE_DURATION_CHANGED: {
        std::lock_guard lock(context.mutex);
        post(context, GstMediaLayer::BusEvent::DurationChanged);
        break;
    }
    default:
        break;
    }
    // A dropped message is the handler's to release. Each one holds its sender, so one kept
    // would keep the whole pipeline, its bus and the bus's wake-up sockets alive.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void GstBusRelay::changeState(GstMediaLayer::Device &d, GstState state) {
    d.worker->post([pipeline = d.pipeline, context = d.context, state] {
        if (gst_element_set_state(pipeline, state) != GST_STATE_CHANGE_FAILURE)
            return;
        std::lock_guard lock(context->mutex);
        if (firstError(*context, deviceNotReady()))
            post(*context, GstMediaLayer::BusEvent::Error);
    });
}

namespace {

void freeContext(gpointer data) {
    delete static_cast<std::shared_ptr<BusContext> *>(data);
}

qint32 toMs(gint64 nanoseconds) {
    return static_cast<qint32>(std::clamp<gint64>(nanoseconds / gint64(GST_MSECOND), 0, INT32_MAX));
}

void linkParsedStream(GstElement *, GstPad *pad, gpointer sink) {
    GstPad *sinkPad = gst_element_get_static_pad(GST_ELEMENT(sink), "sink");
    if (!gst_pad_is_linked(sinkPad))
        gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

// Messages posted while a pipeline is torn down would stay queued on its bus; each holds a
// reference to the pipeline that owns the bus, so neither would ever be freed (nor the bus's
// wake-up sockets). A flushing bus drops them.
void tearDown(GstElement *pipeline) {
    GstBus *bus = gst_element_get_bus(pipeline);
    gst_bus_set_flushing(bus, TRUE);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// The exact length of a file whose header does not tell it (MP3 without a Xing header): its
// frames are parsed, not decoded, to the end. Returns -1 when that fails or is cancelled.
qint32 measureLength(const QString &path, const std::atomic<bool> &cancelled) {
    GstElement *pipeline = GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr)));
    GstElement *source = gst_element_factory_make("filesrc", nullptr);
    GstElement *parser = gst_element_factory_make("parsebin", nullptr);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    if (!source || !parser || !sink) {
        for (GstElement *e : {source, parser, sink}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        gst_object_unref(pipeline);
        return -1;
    }
    g_object_set(source, "location", QFile::encodeName(path).constData(), nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, parser, sink, nullptr);
    gst_element_link(source, parser);
    g_signal_connect(parser, "pad-added", G_CALLBACK(linkParsedStream), sink);

    qint32 length = -1;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *message = nullptr;
    // Woken now and then to see whether the device still wants the answer.
    for (GstClockTime waited = 0; !message && waited < kScanWait && !cancelled;
         waited += 100 * GST_MSECOND)
        message = gst_bus_timed_pop_filtered(bus, 100 * GST_MSECOND,
                                             GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gint64 duration = 0;
    if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS &&
        gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) && duration > 0)
        length = toMs(duration);
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    tearDown(pipeline);
    return length;
}

} // namespace

GstMediaLayer::GstMediaLayer(QString sinkDescription, QObject *parent)
    : MediaLayer(parent)
    , m_sinkDescription(std::move(sinkDescription))
    , m_nextTextCode(kFirstTextCode) {
    initGstreamerOnce();
    m_texts[MCIERR_INVALID_DEVICE_ID] =
        inTurkish(QStringLiteral("Ses aygıtı bulunamadı"), QStringLiteral("Invalid device id."));
    m_texts[MCIERR_INVALID_DEVICE_NAME] = inTurkish(QStringLiteral("Böyle bir ses aygıtı yok"),
                                                    QStringLiteral("No such media device."));
    m_texts[MCIERR_UNSUPPORTED_FUNCTION] =
        inTurkish(QStringLiteral("Ses aygıtı bu işlemi yapamıyor"),
                  QStringLiteral("The media device cannot do this."));
    m_texts[MCIERR_FILE_NOT_FOUND] = inTurkish(QStringLiteral("Müzik dosyası bulunamadı"),
                                               QStringLiteral("Resource not found."));
    m_texts[MCIERR_DEVICE_NOT_READY] = deviceNotReady();
    m_texts[MCIERR_OUTOFRANGE] = inTurkish(QStringLiteral("Değer izin verilen aralığın dışında"),
                                           QStringLiteral("The value is out of range."));
}

GstMediaLayer::~GstMediaLayer() {
    for (auto &[id, device] : m_devices)
        destroy(*device);
    if (m_prepared)
        destroy(*m_prepared);
    // Pipelines still being torn down get a moment to finish, so none outlives the program's
    // own teardown; one held up by its sound server is left to its thread.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kTeardownWaitMs);
    for (auto &worker : m_retiring) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        worker->finish(int(qMax<qint64>(left.count(), 0)));
    }
}

GstMediaLayer::Device *GstMediaLayer::find(quint16 device) {
    auto it = m_devices.find(device);
    return it == m_devices.end() ? nullptr : it->second.get();
}

quint32 GstMediaLayer::codeForText(const QString &text) {
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
        if (it.key() >= kFirstTextCode && it.value() == text)
            return it.key();
    }
    m_texts.insert(m_nextTextCode, text);
    return m_nextTextCode++;
}

void GstMediaLayer::destroy(Device &d) {
    if (d.scan)
        d.scan->cancelled = true;
    retire(std::move(d.scanWorker));
    if (!d.pipeline)
        return;
    d.context->dropped = true;
    {
        std::lock_guard lock(d.context->mutex);
        d.context->layer = nullptr;
    }
    // The handler goes before the state change, so no message of the teardown is posted.
    GstBus *bus = gst_element_get_bus(d.pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    // After the pipeline's other state changes, on its own thread: going to NULL waits for the
    // sink, which may be waiting for its sound server.
    d.worker->post([pipeline = d.pipeline] { tearDown(pipeline); });
    retire(std::move(d.worker));
    d.pipeline = nullptr;
    d.audioSink = nullptr;
    d.gain = nullptr;
}

bool GstMediaLayer::awaitRetiring(std::chrono::steady_clock::time_point deadline) {
    bool waited = false;
    for (auto &worker : m_retiring) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (worker->busy()) {
            waited = true;
            if (!worker->finish(int(qMax<qint64>(left.count(), 0))))
                return false;
        }
    }
    return waited;
}

void GstMediaLayer::retire(std::unique_ptr<PipelineWorker> worker) {
    m_retiring.erase(
        std::remove_if(m_retiring.begin(), m_retiring.end(), [](auto &w) { return w->finish(0); }),
        m_retiring.end());
    if (worker && !worker->finish(0))
        m_retiring.push_back(std::move(worker));
}

bool GstMediaLayer::swallowsSound(GstElement *sink) {
    if (!GST_IS_BIN(sink))
        return false;
    bool fake = false;
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(sink));
    const auto look = [](const GValue *item, gpointer data) {
        GstElement *element = GST_ELEMENT(g_value_get_object(item));
        GstObject *parent = gst_object_get_parent(GST_OBJECT(element));
        const auto factoryIs = [](GstElement *e, const char *name) {
            GstElementFactory *factory = e ? gst_element_get_factory(e) : nullptr;
            return factory && g_strcmp0(GST_OBJECT_NAME(factory), name) == 0;
        };
        if (parent && GST_IS_ELEMENT(parent) && factoryIs(GST_ELEMENT(parent), "autoaudiosink") &&
            factoryIs(element, "fakesink"))
            *static_cast<bool *>(data) = true;
        if (parent)
            gst_object_unref(parent);
    };
    gst_iterator_foreach(it, look, &fake);
    gst_iterator_free(it);
    return fake;
}

QString GstMediaLayer::outputProblem(const QString &description) {
    initGstreamerOnce();
    GError *error = nullptr;
    GstElement *sink =
        gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &error);
    g_clear_error(&error);
    if (!sink)
        return noOutput();
    gst_object_ref_sink(sink);
    // READY opens the output (an automatic one chooses its sink then) without playing anything.
    const bool opened =
        gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE &&
        gst_element_get_state(sink, nullptr, nullptr, kStateWait) == GST_STATE_CHANGE_SUCCESS;
    const bool fake = swallowsSound(sink);
    gst_element_set_state(sink, GST_STATE_NULL);
    gst_object_unref(sink);
    return opened && !fake ? QString() : noOutput();
}

int GstMediaLayer::livePipelines() {
    return livePlaybins;
}

bool GstMediaLayer::honoursOutputs() const {
    const QString sink = m_sinkDescription.trimmed();
    return sink == QLatin1String("autoaudiosink") || sink.startsWith(QLatin1String("pulsesink"));
}

std::unique_ptr<GstMediaLayer::Device> GstMediaLayer::build(const QString &file, quint16 id,
                                                            bool fromFirstSound,
                                                            const QString &output, double volume,
                                                            quint32 &failure) {
    auto d = std::make_unique<Device>();
    d->pipeline = gst_element_factory_make("playbin", nullptr);
    if (!d->pipeline) {
        failure = codeForText(inTurkish(QStringLiteral("Ses çalma bileşeni kurulu değil"),
                                        QStringLiteral("GStreamer's playbin is not installed.")));
        return nullptr;
    }
    gst_object_ref_sink(d->pipeline);
    ++livePlaybins;
    g_object_weak_ref(G_OBJECT(d->pipeline), &playbinFreed, nullptr);

    GError *error = nullptr;
    GstElement *sink = nullptr;
    if (output.isEmpty()) {
        sink = gst_parse_bin_from_description(m_sinkDescription.toUtf8().constData(), TRUE, &error);
    } else if ((sink = gst_element_factory_make("pulsesink", nullptr))) {
        // Set as a property, not pasted into a description: a name is never read as syntax.
        g_object_set(sink, "device", output.toUtf8().constData(), nullptr);
    }
    // The volume ahead of the sink; the converter after it lets a sink take what it likes.
    GstElement *gain = gst_element_factory_make("volume", nullptr);
    GstElement *convert = gst_element_factory_make("audioconvert", nullptr);
    if (!sink || !gain || !convert) {
        const QString text = inTurkish(QStringLiteral("Ses çıkışı kurulamadı"),
                                       QString::fromUtf8(error ? error->message : ""));
        g_clear_error(&error);
        for (GstElement *e : {sink, gain, convert}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        gst_object_unref(d->pipeline);
        failure = codeForText(text);
        return nullptr;
    }
    g_clear_error(&error);
    setUpOutputs(sink);
    g_object_set(gain, "volume", std::clamp(volume, 0.0, 1.0), nullptr);
    GstElement *chain = gst_bin_new(nullptr);
    gst_bin_add_many(GST_BIN(chain), gain, convert, sink, nullptr);
    gst_element_link_many(gain, convert, sink, nullptr);
    GstPad *input = gst_element_get_static_pad(gain, "sink");
    gst_element_add_pad(chain, gst_ghost_pad_new("sink", input));
    gst_object_unref(input);

    gchar *uri = gst_filename_to_uri(file.toUtf8().constData(), nullptr);
    g_object_set(d->pipeline, "uri", uri, "audio-sink", chain, "flags", kPlayFlagAudio, nullptr);
    g_free(uri);
    d->audioSink = sink;
    d->gain = gain;
    d->volume = std::clamp(volume, 0.0, 1.0);
    d->fromFirstSound = fromFirstSound;
    d->askedOutput = output;
    d->output = output;
    d->file = file;

    d->context = std::make_shared<BusContext>();
    d->context->layer = this;
    d->context->device = id;
    d->context->output = sink;
    d->context->namedOutput = !output.isEmpty();
    d->outputLossesSeen = outputLosses;
    static std::atomic<quint64> serials{0};
    d->context->serial = ++serials;
    GstBus *bus = gst_element_get_bus(d->pipeline);
    gst_bus_set_sync_handler(bus, &GstBusRelay::onBusSync,
                             new std::shared_ptr<BusContext>(d->context), &freeContext);
    gst_object_unref(bus);

    // Preroll, so the length is known and a missing or undecodable file fails in open.
    d->worker = std::make_unique<PipelineWorker>();
    d->worker->post([pipeline = d->pipeline, context = d->context, file, fromFirstSound] {
        // Found before the preroll, so the pipeline waits at the first sound and the play only
        // has to start: the bell's second does not pay for the search.
        const FirstSound first =
            fromFirstSound ? FirstSound::of(file, &context->dropped) : FirstSound{};
        if (first.result == FirstSound::Result::Silent) {
            std::lock_guard lock(context->mutex);
            context->silent = true;
            context->prerolled = true;
            context->prerollChange = GST_STATE_CHANGE_FAILURE;
            context->prerollDone.notify_all();
            return;
        }
        GstStateChangeReturn change = gst_element_set_state(pipeline, GST_STATE_PAUSED);
        if (change == GST_STATE_CHANGE_ASYNC)
            change = gst_element_get_state(pipeline, nullptr, nullptr, kStateWait);
        // A file the search could not read plays from its start; its own error, if any, is
        // the preroll's to tell.
        gint64 skipped = 0;
        if (change == GST_STATE_CHANGE_SUCCESS && first.result == FirstSound::Result::Found &&
            first.atNs > 0 &&
            gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                    GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                    first.atNs)) {
            change = gst_element_get_state(pipeline, nullptr, nullptr, kStateWait);
            skipped = first.atNs;
        }
        std::unique_lock lock(context->mutex);
        context->firstSoundNs = skipped;
        if (change == GST_STATE_CHANGE_FAILURE || change == GST_STATE_CHANGE_ASYNC) {
            // The state change can fail before the element that failed has posted its error.
            context->errorArrived.wait_for(lock, std::chrono::seconds(1),
                                           [&] { return context->errorSeen; });
        }
        context->prerolled = true;
        context->prerollChange = change;
        context->prerollDone.notify_all();
    });
    return d;
}

quint32 GstMediaLayer::awaitPreroll(Device &d, const QString &element,
                                    std::chrono::steady_clock::time_point deadline,
                                    bool &answered) {
    // The wait is bounded: a sound server that does not answer must not hold up the caller.
    GstStateChangeReturn change = GST_STATE_CHANGE_ASYNC;
    QString text;
    bool silent = false;
    {
        std::unique_lock lock(d.context->mutex);
        answered =
            d.context->prerollDone.wait_until(lock, deadline, [&] { return d.context->prerolled; });
        change = d.context->prerollChange;
        text = d.context->firstError;
        silent = d.context->silent;
        d.skippedNs = d.context->firstSoundNs;
    }
    if (!answered) {
        destroy(d);
        return codeForText(QStringLiteral("ses çıkışı yanıt vermiyor"));
    }
    // A bell that would start and be heard by nobody is a bell that cannot play.
    if (silent) {
        destroy(d);
        return codeForText(silentFile());
    }
    if (change == GST_STATE_CHANGE_FAILURE || change == GST_STATE_CHANGE_ASYNC) {
        destroy(d);
        if (!text.isEmpty())
            return codeForText(text);
        if (change == GST_STATE_CHANGE_ASYNC)
            return MCIERR_DEVICE_NOT_READY;
        return QFileInfo::exists(element)
                   ? codeForText(inTurkish(QStringLiteral("Müzik dosyası çalınamadı"),
                                           QStringLiteral("The file cannot be played.")))
                   : MCIERR_FILE_NOT_FOUND;
    }

    // Nothing would be heard: failed now, not recorded later as a bell that rang.
    if (swallowsSound(d.audioSink)) {
        destroy(d);
        return codeForText(noOutput());
    }
    gint64 duration = 0;
    const bool lengthKnown = gst_element_query_duration(d.pipeline, GST_FORMAT_TIME, &duration);
    if (lengthKnown && duration == 0) {
        // A file cut off after its header prerolls as well: it would "play" without a sound.
        destroy(d);
        return codeForText(inTurkish(QStringLiteral("Bu dosyada ses yok"),
                                     QStringLiteral("The file contains no sound.")));
    }
    if (lengthKnown && duration > 0)
        d.duration = toMs(duration);
    // A sound server may have put the stream on another output than the one named.
    if (!d.askedOutput.isEmpty() &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(d.audioSink), "current-device")) {
        gchar *current = nullptr;
        g_object_get(d.audioSink, "current-device", &current, nullptr);
        if (current && d.askedOutput != QString::fromUtf8(current))
            d.output.clear();
        g_free(current);
    }
    // Otherwise the length is measured when it is first asked for, beside the playing music.
    return 0;
}

std::unique_ptr<GstMediaLayer::Device> GstMediaLayer::takePrepared(const QString &file,
                                                                   const QString &output) {
    if (!m_prepared || m_prepared->file != file || m_prepared->askedOutput != output)
        return nullptr;
    std::unique_ptr<Device> d = std::move(m_prepared);
    // Music replaced since, or an output lost since (the pipeline may hold the dead one): the
    // file is opened afresh, so nothing stale plays.
    if (stampOf(file) != d->stamp || d->outputLossesSeen != outputLosses) {
        destroy(*d);
        return nullptr;
    }
    return d;
}

void GstMediaLayer::prepare(const QString &file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    const std::optional<FileStamp> stamp = stampOf(path);
    const QString output = honoursOutputs() ? m_bellOutput : QString();
    if (m_prepared && m_prepared->file == path && m_prepared->stamp == stamp &&
        m_prepared->outputLossesSeen == outputLosses && m_prepared->askedOutput == output)
        return;
    if (m_prepared) {
        destroy(*m_prepared);
        m_prepared.reset();
    }
    // A file that is not there has nothing to get ready; its open reports it.
    if (!stamp)
        return;
    quint32 failure = 0;
    m_prepared = build(path, 0, true, output, m_bellVolume, failure);
    if (m_prepared)
        m_prepared->stamp = stamp;
}

quint32 GstMediaLayer::open(const MediaOpenRequest &request, quint16 &deviceId) {
    // Only files are devices here; a device type without a file names nothing we can open.
    if (request.byType)
        return MCIERR_INVALID_DEVICE_NAME;

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kOutputTimeoutMs);
    const QString file = QFileInfo(request.element).absoluteFilePath();
    // Told at once: a pipeline would take its time to find that out, and a bell's tone waits.
    if (!QFileInfo::exists(file))
        return MCIERR_FILE_NOT_FOUND;
    // A prepared pipeline that may hold a lost output keeps every new sink from reaching the
    // output, whichever file it was prepared for.
    if (m_prepared && m_prepared->outputLossesSeen != outputLosses) {
        destroy(*m_prepared);
        m_prepared.reset();
    }
    const quint16 id = m_nextId;
    bool answered = true;
    QString output = honoursOutputs() ? request.output : QString();
    if (request.fromFirstSound)
        m_bellOutput = output;
    // Only bells are prepared, and they start at their first sound.
    std::unique_ptr<Device> d = request.fromFirstSound ? takePrepared(file, output) : nullptr;
    if (d) {
        // A prepared pipeline that has not answered yet waits within the open's own limit.
        const quint32 result = awaitPreroll(*d, request.element, deadline, answered);
        // An output that left the prepared pipeline unanswered leaves no time for another, and
        // a silent file stays silent.
        if (!answered || (result != 0 && result == codeForText(silentFile())))
            return result;
        bool failed = result != 0;
        if (!failed) {
            std::lock_guard lock(d->context->mutex);
            failed = d->context->errorSeen;
            d->context->device = id;
        }
        // A preroll that went wrong is not the file's last word: it is opened afresh, so the
        // bell fails, if at all, for reasons of its own.
        if (failed) {
            if (result == 0)
                destroy(*d);
            d.reset();
        } else {
            ++m_preparedOpens;
        }
    }
    const double volume = request.fromFirstSound ? m_bellVolume : 1.0;
    for (bool retried = false; !d;) {
        quint32 failure = 0;
        d = build(file, id, request.fromFirstSound, output, volume, failure);
        if (!d && !output.isEmpty()) {
            output.clear();
            continue;
        }
        if (!d)
            return failure;
        const quint32 result = awaitPreroll(*d, request.element, deadline, answered);
        if (result == 0)
            break;
        d.reset();
        // A named output that cannot be had gives way to the program's own, so the sound still
        // plays; one that did not answer has used up the time for that.
        if (!output.isEmpty() && answered && result != codeForText(silentFile())) {
            output.clear();
            continue;
        }
        // A pipeline still being torn down may hold a lost output, which a new sink then cannot
        // reach: once it has gone, the open is tried once more.
        if (retried || result != codeForText(noOutput()) || !awaitRetiring(deadline))
            return result;
        retried = true;
    }
    // Built for the program's own output after the named one failed.
    d->askedOutput = honoursOutputs() ? request.output : QString();

    m_devices[id] = std::move(d);
    deviceId = id;
    do {
        ++m_nextId;
    } while (m_nextId == 0 || m_devices.count(m_nextId) != 0);
    return 0;
}

quint32 GstMediaLayer::close(quint16 device) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    endPending(device, *d, MCI_NOTIFY_ABORTED);
    destroy(*d);
    m_devices.erase(device);
    return 0;
}

void GstMediaLayer::postNotice(quint16 device, quint32 code) {
    QMetaObject::invokeMethod(
        this, [this, device, code] { emit notice(device, code); }, Qt::QueuedConnection);
}

void GstMediaLayer::endPending(quint16 device, Device &d, quint32 code) {
    if (!d.notifyPending)
        return;
    d.notifyPending = false;
    postNotice(device, code);
}

qint32 GstMediaLayer::lengthMs(Device &d) {
    const qint32 skipped = toMs(d.skippedNs);
    // A length counted over the whole file beats the parser's running estimate.
    if (d.scan && d.scan->result > 0)
        return qMax(d.scan->result - skipped, 0);
    if (d.duration <= 0 && !d.scan) {
        // A header without the length: the frames are counted on a thread of their own.
        d.scan = std::make_shared<LengthScan>();
        d.scanWorker = std::make_unique<PipelineWorker>();
        d.scanWorker->post([scan = d.scan, file = d.file] {
            scan->result = measureLength(file, scan->cancelled);
        });
    }
    // VBR files may learn their real length only while playing; ask again until it is known.
    if (d.duration <= 0) {
        gint64 duration = 0;
        if (gst_element_query_duration(d.pipeline, GST_FORMAT_TIME, &duration) && duration > 0)
            d.duration = toMs(duration);
    }
    return d.duration > 0 ? qMax(d.duration - skipped, 0) : 0;
}

qint32 GstMediaLayer::positionMs(Device &d) {
    if (d.atEnd)
        return lengthMs(d);
    gint64 position = 0;
    // Halted music stays where it halted, and while a state change or a seek is still under way
    // the pipeline's answer is stale: the last answer stands.
    if (d.mode == Device::Mode::Playing && !d.worker->busy() &&
        gst_element_query_position(d.pipeline, GST_FORMAT_TIME, &position) && position >= 0)
        d.lastPosition = toMs(position - d.skippedNs);
    const qint32 length = lengthMs(d);
    return length > 0 ? qMin(d.lastPosition, length) : d.lastPosition;
}

void GstMediaLayer::seekTo(Device &d, qint64 ms) {
    const gint64 target = qMax<qint64>(ms, 0) * GST_MSECOND + d.skippedNs;
    // A flushing seek prerolls again; the worker waits for that, so a play queued after it
    // starts from the new place.
    d.worker->post([pipeline = d.pipeline, target] {
        if (gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                    GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                    target))
            gst_element_get_state(pipeline, nullptr, nullptr, kStateWait);
    });
    d.lastPosition = static_cast<qint32>(qMin<qint64>(ms, INT32_MAX));
}

quint32 GstMediaLayer::play(quint16 device, std::optional<qint32> from, bool notify) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    endPending(device, *d, MCI_NOTIFY_SUPERSEDED);
    if (from) {
        const qint32 length = lengthMs(*d);
        if (*from < 0 || (length > 0 && *from > length))
            return MCIERR_OUTOFRANGE;
        seekTo(*d, *from);
        d->atEnd = length > 0 && *from >= length;
    }
    d->notifyPending = notify;
    if (d->atEnd) {
        // Nothing is left to play: the request is complete at once.
        d->mode = Device::Mode::Stopped;
        endPending(device, *d, MCI_NOTIFY_SUCCESSFUL);
        return 0;
    }
    {
        std::lock_guard lock(d->context->mutex);
        d->context->errorSeen = false;
    }
    GstBusRelay::changeState(*d, GST_STATE_PLAYING);
    d->mode = Device::Mode::Playing;
    d->heard = false;
    d->playedFrom = from ? *from : d->lastPosition;
    return 0;
}

MediaHeard GstMediaLayer::heard(quint16 device, quint32 &code) {
    Device *d = find(device);
    if (!d) {
        code = MCIERR_INVALID_DEVICE_ID;
        return MediaHeard::No;
    }
    {
        std::lock_guard lock(d->context->mutex);
        if (d->context->errorSeen) {
            code = codeForText(d->context->firstError);
            return MediaHeard::No;
        }
    }
    if (d->heard)
        return MediaHeard::Yes;
    // An accepted play proves nothing: a sink whose server has gone still reaches PLAYING. The
    // position moving on in PLAYING does: a sink plays out its buffer only to a live output.
    GstState state = GST_STATE_VOID_PENDING;
    const bool playing =
        gst_element_get_state(d->pipeline, &state, nullptr, 0) == GST_STATE_CHANGE_SUCCESS &&
        state == GST_STATE_PLAYING;
    if ((playing || d->atEnd) && positionMs(*d) > d->playedFrom)
        d->heard = true;
    return d->heard ? MediaHeard::Yes : MediaHeard::NotYet;
}

quint32 GstMediaLayer::record(quint16 device, std::optional<qint32>, bool) {
    return find(device) ? MCIERR_UNSUPPORTED_FUNCTION : MCIERR_INVALID_DEVICE_ID;
}

void GstMediaLayer::halt(Device &d) {
    if (d.mode != Device::Mode::Playing)
        return;
    // Remember where it halted before the pipeline pauses: that is where it stays.
    positionMs(d);
    GstBusRelay::changeState(d, GST_STATE_PAUSED);
}

quint32 GstMediaLayer::pause(quint16 device) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    endPending(device, *d, MCI_NOTIFY_ABORTED);
    halt(*d);
    d->mode = d->atEnd ? Device::Mode::Stopped : Device::Mode::Paused;
    return 0;
}

quint32 GstMediaLayer::resume(quint16 device, bool notify) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    if (d->mode != Device::Mode::Paused)
        return MCIERR_DEVICE_NOT_READY;
    endPending(device, *d, MCI_NOTIFY_SUPERSEDED);
    {
        std::lock_guard lock(d->context->mutex);
        d->context->errorSeen = false;
    }
    GstBusRelay::changeState(*d, GST_STATE_PLAYING);
    d->notifyPending = notify;
    d->mode = Device::Mode::Playing;
    return 0;
}

quint32 GstMediaLayer::stop(quint16 device) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    endPending(device, *d, MCI_NOTIFY_ABORTED);
    halt(*d);
    d->mode = Device::Mode::Stopped;
    return 0;
}

quint32 GstMediaLayer::seek(quint16 device, MediaSeek where, qint32 to) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    const qint32 length = lengthMs(*d);
    qint32 target = to;
    if (where == MediaSeek::ToStart)
        target = 0;
    else if (where == MediaSeek::ToEnd)
        target = length;
    if (target < 0 || (length > 0 && target > length))
        return MCIERR_OUTOFRANGE;
    endPending(device, *d, MCI_NOTIFY_ABORTED);
    // A seek leaves the device stopped at the target.
    if (d->mode == Device::Mode::Playing)
        GstBusRelay::changeState(*d, GST_STATE_PAUSED);
    d->mode = Device::Mode::Stopped;
    seekTo(*d, target);
    d->atEnd = length > 0 && target >= length;
    return 0;
}

quint32 GstMediaLayer::step(quint16 device, qint32, bool) {
    return find(device) ? MCIERR_UNSUPPORTED_FUNCTION : MCIERR_INVALID_DEVICE_ID;
}

quint32 GstMediaLayer::openDoor(quint16 device) {
    return find(device) ? MCIERR_UNSUPPORTED_FUNCTION : MCIERR_INVALID_DEVICE_ID;
}

quint32 GstMediaLayer::setTimeFormat(quint16 device, quint32 format, bool notify) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    // Milliseconds are the only format of a music file here.
    if (format != MCI_FORMAT_MILLISECONDS)
        return MCIERR_UNSUPPORTED_FUNCTION;
    if (notify)
        postNotice(device, MCI_NOTIFY_SUCCESSFUL);
    return 0;
}

quint32 GstMediaLayer::setWindow(quint16 device, QObject *) {
    return find(device) ? MCIERR_UNSUPPORTED_FUNCTION : MCIERR_INVALID_DEVICE_ID;
}

quint32 GstMediaLayer::status(quint16 device, MediaStatusItem item, quint32 &value, int track) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    switch (item) {
    case MediaStatusItem::Position:
        value = static_cast<quint32>(positionMs(*d));
        break;
    case MediaStatusItem::Length:
        value = static_cast<quint32>(lengthMs(*d));
        break;
    case MediaStatusItem::Mode:
        switch (d->mode) {
        case Device::Mode::Stopped:
            value = MCI_MODE_STOP;
            break;
        case Device::Mode::Playing:
            value = MCI_MODE_PLAY;
            break;
        case Device::Mode::Paused:
            value = MCI_MODE_PAUSE;
            break;
        }
        break;
    case MediaStatusItem::NumberOfTracks:
        value = 1;
        break;
    case MediaStatusItem::TimeFormat:
        value = MCI_FORMAT_MILLISECONDS;
        break;
    case MediaStatusItem::TrackPosition:
        if (track != 1)
            return MCIERR_OUTOFRANGE;
        value = 0;
        break;
    }
    return 0;
}

quint32 GstMediaLayer::capability(quint16 device, MediaCapability item, quint32 &value) {
    if (!find(device))
        return MCIERR_INVALID_DEVICE_ID;
    switch (item) {
    case MediaCapability::CanPlay:
        value = 1;
        break;
    case MediaCapability::CanRecord:
    case MediaCapability::CanEject:
    case MediaCapability::HasVideo:
        value = 0;
        break;
    case MediaCapability::DeviceType:
        value = MCI_DEVTYPE_WAVEFORM_AUDIO;
        break;
    }
    return 0;
}

std::optional<QString> GstMediaLayer::errorText(quint32 code) const {
    auto it = m_texts.find(code);
    if (it == m_texts.end())
        return std::nullopt;
    return *it;
}

quint32 GstMediaLayer::setVolume(quint16 device, double volume, int rampMs) {
    Device *d = find(device);
    if (!d)
        return MCIERR_INVALID_DEVICE_ID;
    if (!std::isfinite(volume) || rampMs < 0)
        return MCIERR_OUTOFRANGE;
    volume = std::clamp(volume, 0.0, 1.0);
    GstObject *gain = GST_OBJECT(d->gain);
    GstControlBinding *glide = gst_object_get_control_binding(gain, "volume");
    if (rampMs > 0 && d->mode == Device::Mode::Playing && !d->atEnd) {
        // The glide is timed by the stream, as the element sees its samples: from what is
        // heard now to `rampMs` later, per sample.
        gint64 now = 0;
        if (!gst_element_query_position(d->pipeline, GST_FORMAT_TIME, &now) || now < 0)
            now = gint64(d->lastPosition) * GST_MSECOND + d->skippedNs;
        double from = d->volume;
        if (glide) {
            if (GValue *value = gst_object_get_value(gain, "volume", GstClockTime(now))) {
                from = g_value_get_double(value);
                g_value_unset(value);
                g_free(value);
            }
        }
        GstControlSource *source = gst_interpolation_control_source_new();
        g_object_set(source, "mode", GST_INTERPOLATION_MODE_LINEAR, nullptr);
        auto *points = GST_TIMED_VALUE_CONTROL_SOURCE(source);
        gst_timed_value_control_source_set(points, GstClockTime(now), from);
        gst_timed_value_control_source_set(points, GstClockTime(now) + rampMs * GST_MSECOND,
                                           volume);
        // Replaces the glide under way, if any.
        gst_object_add_control_binding(
            gain, gst_direct_control_binding_new_absolute(gain, "volume", source));
        gst_object_unref(source);
    } else {
        if (glide)
            gst_object_remove_control_binding(gain, glide);
        g_object_set(d->gain, "volume", volume, nullptr);
        // The sample waiting at the sink went through at the old volume: prerolled again, it
        // starts at the new one. Queued on the device's thread, so a play after it waits.
        if (d->mode != Device::Mode::Playing && !d->atEnd && volume != d->volume)
            seekTo(*d, d->lastPosition);
        // The next bell is prepared at a bell's own volume, not at a fade's end.
        if (d->fromFirstSound)
            m_bellVolume = volume;
    }
    if (glide)
        gst_object_unref(glide);
    d->volume = volume;
    return 0;
}

QString GstMediaLayer::output(quint16 device) {
    Device *d = find(device);
    return d ? d->output : QString();
}

QList<SoundOutput> GstMediaLayer::outputs() {
    initGstreamerOnce();
    QList<SoundOutput> found;
    GstDeviceMonitor *monitor = gst_device_monitor_new();
    GstCaps *raw = gst_caps_new_empty_simple("audio/x-raw");
    gst_device_monitor_add_filter(monitor, "Audio/Sink", raw);
    gst_caps_unref(raw);
    GList *devices = gst_device_monitor_get_devices(monitor);
    for (GList *item = devices; item; item = item->next) {
        GstDevice *device = GST_DEVICE(item->data);
        // Only a sound server's outputs have a name pulsesink can be given.
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name")) {
            gchar *name = nullptr;
            g_object_get(device, "internal-name", &name, nullptr);
            gchar *shown = gst_device_get_display_name(device);
            SoundOutput output{QString::fromUtf8(name), QString::fromUtf8(shown)};
            if (output.description.isEmpty())
                output.description = QStringLiteral("Adı verilmemiş ses çıkışı");
            if (!output.name.isEmpty())
                found.append(output);
            g_free(name);
            g_free(shown);
        }
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return found;
}

GstElement *GstMediaLayer::audioSink(quint16 device) {
    Device *d = find(device);
    return d ? d->audioSink : nullptr;
}

void GstMediaLayer::handleBusEvent(quint16 device, quint64 serial, BusEvent event) {
    Device *d = find(device);
    // A message of a device closed (or reopened under the same id) since it was posted.
    if (!d || !d->context || d->context->serial != serial)
        return;
    switch (event) {
    case BusEvent::EndOfStream:
        if (d->mode != Device::Mode::Playing)
            return;
        // Played to its end: stopped there, the position reads as the length.
        lengthMs(*d);
        d->atEnd = true;
        d->mode = Device::Mode::Stopped;
        GstBusRelay::changeState(*d, GST_STATE_PAUSED);
        endPending(device, *d, MCI_NOTIFY_SUCCESSFUL);
        break;
    case BusEvent::Error:
        // A prepared pipeline may hold the lost output too; let go of it now, so a fresh one
        // can reach the output when it is back.
        if (m_prepared && m_prepared->outputLossesSeen != outputLosses) {
            destroy(*m_prepared);
            m_prepared.reset();
        }
        positionMs(*d);
        d->mode = Device::Mode::Stopped;
        GstBusRelay::changeState(*d, GST_STATE_PAUSED);
        endPending(device, *d, MCI_NOTIFY_FAILURE);
        break;
    case BusEvent::DurationChanged: {
        gint64 duration = 0;
        if (gst_element_query_duration(d->pipeline, GST_FORMAT_TIME, &duration) && duration >= 0)
            d->duration = toMs(duration);
        else
            d->duration = -1;
        break;
    }
    }
}
