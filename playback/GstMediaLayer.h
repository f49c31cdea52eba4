#pragma once

#include "MediaLayer.h"

#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

typedef struct _GstElement GstElement;
class PipelineWorker;

// A sound output the sound server offers: its name, for MediaOpenRequest::output, and how the
// server describes it to people.
struct SoundOutput {
    QString name;
    QString description;
};

// The media layer on GStreamer: one playbin per open device, audio only, into the sink that the
// description names ("autoaudiosink" for the program, "fakesink sync=true" for tests). Positions
// and lengths are milliseconds. Bus messages reach the GUI thread by one path: a bus sync
// handler posts them; nothing else reads the bus. State changes run on a thread per device, so
// a sound server that stops answering never holds up the GUI thread for longer than
// kOutputTimeoutMs, and only in open. Every pipeline carries GStreamer's volume element ahead of
// the sink, so a volume and its glides change the samples themselves; playbin's own volume is
// not used (GStreamer 1.22's playsink keeps it alive after the pipeline, for every bell).
class GstMediaLayer : public MediaLayer {
    Q_OBJECT
public:
    explicit GstMediaLayer(QString sinkDescription = QStringLiteral("autoaudiosink"),
                           QObject *parent = nullptr);
    ~GstMediaLayer() override;

    // How long a state change is given to end, on the device's own thread.
    static constexpr int kPrerollTimeoutMs = 5000;
    // How long open waits for the output to be ready before it reports the output as not
    // answering.
    static constexpr int kOutputTimeoutMs = 2000;

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
    // Builds the file's pipeline and prerolls it on its own thread, at its first sound; an open
    // of the same file from its first sound takes it over, unless the file changed since or the
    // preroll failed. One file is kept prepared: preparing another drops it.
    void prepare(const QString &file) override;
    // Yes once the pipeline plays without an error and its position has moved on; No after an
    // error, a lost output among them.
    MediaHeard heard(quint16 device, quint32 &code) override;
    // A device that has not played since it prerolled is prerolled again at the new volume, so
    // not even its first sample sounds at the old one. A glide runs only while the device plays;
    // otherwise the volume is set at once.
    quint32 setVolume(quint16 device, double volume, int rampMs = 0) override;
    // A named output is honoured when the layer plays to the program's real output
    // (autoaudiosink or pulsesink); an output that cannot be had is replaced by that one.
    QString output(quint16 device) override;

    // The outputs the sound server offers now, as GStreamer's device monitor lists them; empty
    // without a sound server. It may wait for the server: not for the thread that rings.
    static QList<SoundOutput> outputs();

    // Whether nothing could be heard through `sink`: an automatic output that fell back to a
    // fake sink because no sound server or sound card answered. A sink named outright
    // (tests play into "fakesink") is taken as chosen. Looked at once the sink has left NULL.
    static bool swallowsSound(GstElement *sink);
    // Why an output made from `description` could not be heard, or an empty text when it can:
    // the start-up check's question, answered without playing anything.
    static QString outputProblem(const QString &description);

    // Opens that took over a prepared pipeline.
    int preparedOpens() const { return m_preparedOpens; }
    // Pipelines of every layer not yet freed, teardowns under way included.
    static int livePipelines();

    // The audio sink that an open device plays into, or nullptr: for tools that measure when
    // the sound starts. The device keeps it; it goes away when the device is closed.
    GstElement *audioSink(quint16 device);

    struct Device;

private:
    friend class GstBusRelay;
    enum class BusEvent { EndOfStream, Error, DurationChanged };

    Device *find(quint16 device);
    // A device whose pipeline is on its way to PAUSED; nullptr, with the code, when none could
    // be built. `id` is the device it will be, or 0 when that is not known yet.
    // `output` is a sound server's output by name, empty for the sink description; `volume`
    // is what the first sample plays at.
    std::unique_ptr<Device> build(const QString &file, quint16 id, bool fromFirstSound,
                                  const QString &output, double volume, quint32 &failure);
    // Whether a named output can replace the sink description.
    bool honoursOutputs() const;
    // Waits for build's preroll until `deadline`; 0 when the device can play. On failure the
    // device is destroyed and `answered` tells whether the output answered in time.
    quint32 awaitPreroll(Device &d, const QString &element,
                         std::chrono::steady_clock::time_point deadline, bool &answered);
    // The prepared device of `file` if it is still good to play; a stale one is dropped.
    std::unique_ptr<Device> takePrepared(const QString &file, const QString &output);
    void handleBusEvent(quint16 device, quint64 serial, BusEvent event);
    void postNotice(quint16 device, quint32 code);
    void endPending(quint16 device, Device &d, quint32 code);
    quint32 codeForText(const QString &text);
    qint32 positionMs(Device &d);
    // Pauses a playing pipeline where it stands, for pause and stop alike.
    void halt(Device &d);
    qint32 lengthMs(Device &d);
    void seekTo(Device &d, qint64 ms);
    void destroy(Device &d);
    // Waits until `deadline` for the pipelines being torn down; true when some were and all
    // have gone.
    bool awaitRetiring(std::chrono::steady_clock::time_point deadline);
    // Keeps a finishing thread in sight until it has ended, for the destructor to wait on.
    void retire(std::unique_ptr<PipelineWorker> worker);

    QString m_sinkDescription;
    std::map<quint16, std::unique_ptr<Device>> m_devices;
    QHash<quint32, QString> m_texts;
    quint32 m_nextTextCode;
    quint16 m_nextId = 1;
    std::vector<std::unique_ptr<PipelineWorker>> m_retiring;
    std::unique_ptr<Device> m_prepared;
    int m_preparedOpens = 0;
    // Where and how loud the last bell played: a prepared bell is made the same way, so the
    // next one most likely starts without being built or prerolled again.
    QString m_bellOutput;
    double m_bellVolume = 1.0;
};
