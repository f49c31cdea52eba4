#include "FirstSound.h"

#include <QFile>

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <cmath>
#include <mutex>

namespace {

// Every answer comes well within this on a school's music; a file that takes longer is not
// waited for.
constexpr GstClockTime kScanLimit = 120 * GST_SECOND;

struct Search {
    std::atomic<bool> found{false};
    std::atomic<std::int64_t> atNs{0};
    std::int64_t framesSeen = 0; // for buffers that carry no time of their own
};

void linkAudio(GstElement *, GstPad *pad, gpointer convert) {
    GstCaps *caps = gst_pad_get_current_caps(pad);
    if (!caps)
        caps = gst_pad_query_caps(pad, nullptr);
    const bool audio =
        caps && gst_caps_get_size(caps) > 0 &&
        g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/");
    if (caps)
        gst_caps_unref(caps);
    GstPad *sinkPad = gst_element_get_static_pad(GST_ELEMENT(convert), "sink");
    if (audio && !gst_pad_is_linked(sinkPad))
        gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

GstPadProbeReturn lookForSound(GstPad *pad, GstPadProbeInfo *info, gpointer data) {
    auto &search = *static_cast<Search *>(data);
    if (search.found)
        return GST_PAD_PROBE_DROP;
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstCaps *caps = gst_pad_get_current_caps(pad);
    int rate = 0, channels = 0;
    if (caps) {
        const GstStructure *s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "rate", &rate);
        gst_structure_get_int(s, "channels", &channels);
        gst_caps_unref(caps);
    }
    GstMapInfo map;
    if (rate <= 0 || channels <= 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_DROP;
    // The caps filter in front of the probe makes every sample an interleaved native float.
    const auto *samples = reinterpret_cast<const float *>(map.data);
    const std::size_t count = map.size / sizeof(float);
    std::size_t loud = count;
    for (std::size_t i = 0; i < count; ++i) {
        if (std::fabs(samples[i]) >= FirstSound::kThreshold) {
            loud = i;
            break;
        }
    }
    gst_buffer_unmap(buffer, &map);
    const std::int64_t frames = std::int64_t(count) / channels;
    if (loud < count) {
        const std::int64_t frame = std::int64_t(loud) / channels;
        const std::int64_t start = GST_BUFFER_PTS_IS_VALID(buffer)
                                       ? std::int64_t(GST_BUFFER_PTS(buffer))
                                       : std::int64_t(gst_util_uint64_scale_int(
                                             guint64(search.framesSeen), GST_SECOND, rate));
        search.atNs =
            start + std::int64_t(gst_util_uint64_scale_int(guint64(frame), GST_SECOND, rate));
        search.found = true;
        GstElement *sink = GST_ELEMENT(gst_pad_get_parent(pad));
        gst_element_post_message(
            sink,
            gst_message_new_application(GST_OBJECT(sink), gst_structure_new_empty("first-sound")));
        gst_object_unref(sink);
    }
    search.framesSeen += frames;
    return GST_PAD_PROBE_DROP;
}

} // namespace

FirstSound FirstSound::of(const QString &path, const std::atomic<bool> *cancelled) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    FirstSound answer;
    GstElement *pipeline = GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr)));
    GstElement *decode = gst_element_factory_make("uridecodebin", nullptr);
    GstElement *convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement *filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    if (!decode || !convert || !filter || !sink) {
        for (GstElement *e : {decode, convert, filter, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        gst_object_unref(pipeline);
        return answer;
    }
    gchar *uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    g_object_set(decode, "uri", uri, nullptr);
    g_free(uri);
    GstCaps *caps =
        gst_caps_from_string("audio/x-raw,format=" GST_AUDIO_NE(F32) ",layout=interleaved");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), decode, convert, filter, sink, nullptr);
    gst_element_link_many(convert, filter, sink, nullptr);
    g_signal_connect(decode, "pad-added", G_CALLBACK(linkAudio), convert);

    Search search;
    GstPad *sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(sinkPad, GST_PAD_PROBE_TYPE_BUFFER, &lookForSound, &search, nullptr);
    gst_object_unref(sinkPad);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *message = nullptr;
    for (GstClockTime waited = 0; !message && waited < kScanLimit && !(cancelled && *cancelled);
         waited += 100 * GST_MSECOND)
        message = gst_bus_timed_pop_filtered(
            bus, 100 * GST_MSECOND,
            GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION));
    if (message && GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) {
        if (search.found) {
            answer.result = Result::Found;
            answer.atNs = search.atNs;
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS && search.framesSeen > 0) {
            answer.result = Result::Silent;
        }
    }
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    // The probe's data lives on this stack: the streaming thread ends here, before it goes.
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return answer;
}
