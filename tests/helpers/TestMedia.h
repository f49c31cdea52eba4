#pragma once

#include <QString>

// Runs a GStreamer pipeline that writes a test file and waits, up to 20 s, for its end.
bool makeMediaFile(const QString &pipeline);

// The head of such a pipeline: `ms` of a tone at 44.1 kHz mono, in buffers of 10 ms so the
// sample count is exact. `properties` go to audiotestsrc (e.g. "freq=660").
QString toneSource(int ms, const QString &properties = {});
