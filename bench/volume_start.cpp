// What a bell's level costs its start: the time from the play request to the first buffer the
// sink renders, through GStreamer into a synchronising fake sink. Bells prepared at the level
// they play at start as before; a bell whose level differs from the one it was prepared at is
// prerolled again first (so not even its first sample is too loud), and one not prepared at all
// is built at its play. Prints p50 and max per case; never fails on time.
#include "GstMediaLayer.h"
#include "LayerBellPlayer.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

std::atomic<qint64> firstRenderNs{-1};

qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void onHandoff(GstElement *, GstBuffer *, GstPad *, gpointer) {
    qint64 none = -1;
    firstRenderNs.compare_exchange_strong(none, nowNs());
}

// Hooks the fake sink of every device it opens.
class MeasuredLayer : public GstMediaLayer {
public:
    MeasuredLayer()
        : GstMediaLayer(QStringLiteral("fakesink name=olcu sync=true signal-handoffs=true")) {}
    quint32 open(const MediaOpenRequest &request, quint16 &id) override {
        const quint32 result = GstMediaLayer::open(request, id);
        if (result != 0)
            return result;
        if (GstElement *bin = audioSink(id)) {
            GstElement *sink = GST_IS_BIN(bin) ? gst_bin_get_by_name(GST_BIN(bin), "olcu")
                                               : GST_ELEMENT(gst_object_ref(bin));
            if (sink) {
                g_signal_connect(sink, "handoff", G_CALLBACK(onHandoff), nullptr);
                gst_object_unref(sink);
            }
        }
        return 0;
    }
};

void waitMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("zil.wav"));
    if (!makeMediaFile(toneSource(1000) +
                       QStringLiteral("wavenc ! filesink location=\"%1\"").arg(file))) {
        std::fprintf(stderr, "test tone could not be made\n");
        return 1;
    }
    MeasuredLayer layer;
    LayerBellPlayer player(layer);
    double level = 1.0;
    player.setStyle([&level](SoundKind) { return SoundStyle{level, {}}; });
    struct Case {
        const char *name;
        bool prepared;
        bool newLevel;
    };
    constexpr int kBells = 20;
    for (const Case c : {Case{"prepared, same level", true, false},
                         Case{"prepared, another level (prerolled again)", true, true},
                         Case{"not prepared, another level", false, true}}) {
        std::vector<double> ms;
        for (int i = 0; i < kBells + 2; ++i) {
            if (c.newLevel)
                level = level == 0.5 ? 0.8 : 0.5;
            if (c.prepared) {
                player.prepare(file);
                waitMs(300);
            }
            firstRenderNs = -1;
            const qint64 asked = nowNs();
            if (player.play(file, 1)) {
                std::fprintf(stderr, "a bell did not start\n");
                return 1;
            }
            QElapsedTimer waited;
            waited.start();
            while (firstRenderNs < 0 && waited.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            // The first two warm GStreamer's caches up.
            if (i >= 2 && firstRenderNs >= 0)
                ms.push_back((firstRenderNs - asked) / 1e6);
            player.stop();
            waitMs(50);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-44s %zu bells: play to first sample p50 %.1f ms, max %.1f ms\n", c.name,
                    ms.size(), ms.empty() ? 0.0 : ms[ms.size() / 2], ms.empty() ? 0.0 : ms.back());
    }
    return 0;
}
