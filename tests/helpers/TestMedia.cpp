#include "TestMedia.h"

#include <QtGlobal>

#include <gst/gst.h>

bool makeMediaFile(const QString &pipeline) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    GError *error = nullptr;
    GstElement *element = gst_parse_launch(pipeline.toUtf8().constData(), &error);
    if (!element) {
        qWarning("%s", error ? error->message : "no pipeline");
        g_clear_error(&error);
        return false;
    }
    gst_element_set_state(element, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(element);
    GstMessage *message = gst_bus_timed_pop_filtered(
        bus, 20 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(element, GST_STATE_NULL);
    gst_object_unref(element);
    return ok;
}

QString toneSource(int ms, const QString &properties) {
    return QStringLiteral("audiotestsrc %1 num-buffers=%2 samplesperbuffer=441 ! "
                          "audio/x-raw,rate=44100,channels=1 ! ")
        .arg(properties)
        .arg(ms / 10);
}
