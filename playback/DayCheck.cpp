#include "DayCheck.h"

#include "Clock.h"
#include "FirstSound.h"
#include "GstMediaLayer.h"
#include "MusicFile.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"

#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <gst/pbutils/pbutils.h>

namespace {
// Long enough for a large file on a slow disk, short enough that a hung one does not hold up the
// rest of the list for long.
constexpr GstClockTime DiscoverTimeout = 5 * GST_SECOND;
} // namespace

DayCheck::DayCheck(BellStore &store, std::function<void(const QString &message)> report,
                   QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_report(std::move(report)) {}

DayCheck::~DayCheck() {
    if (m_thread)
        m_thread->wait();
}

QString DayCheck::problemWith(const QString &file) {
    const QFileInfo info(file);
    if (!info.isFile())
        return QStringLiteral("dosya bulunamadı");
    if (!info.isReadable())
        return QStringLiteral("dosya okunamıyor");
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    GError *error = nullptr;
    GstDiscoverer *discoverer = gst_discoverer_new(DiscoverTimeout, &error);
    if (!discoverer) {
        const QString text = QString::fromUtf8(error ? error->message : "GStreamer");
        g_clear_error(&error);
        return text;
    }
    const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
    GstDiscovererInfo *found = gst_discoverer_discover_uri(discoverer, uri.constData(), &error);
    QString problem;
    if (!found || gst_discoverer_info_get_result(found) != GST_DISCOVERER_OK) {
        problem = error ? QString::fromUtf8(error->message) : QStringLiteral("dosya açılamadı");
    } else {
        GList *audio = gst_discoverer_info_get_audio_streams(found);
        // A file with a header and no sound plays as silence; it is no bell either.
        if (!audio || gst_discoverer_info_get_duration(found) == 0)
            problem = QStringLiteral("dosyada ses yok");
        // Zeros from end to end (a recording that went wrong) play as nothing at the bell.
        else if (FirstSound::of(info.absoluteFilePath()).result == FirstSound::Result::Silent)
            problem = QStringLiteral("sessiz: dosyada duyulur bir ses yok");
        gst_discoverer_stream_info_list_free(audio);
    }
    g_clear_error(&error);
    if (found)
        g_object_unref(found);
    g_object_unref(discoverer);
    return problem;
}

void DayCheck::check(const QDate &date, const QList<Bell> &bells) {
    if (date == m_checkedDate || (m_thread && m_thread->isRunning()))
        return;
    m_checkedDate = date;
    // Resolved here: what a name may lead to is known at once, and only plain files inside
    // Muzikler are handed to the thread to open.
    QHash<QString, QString> refused;
    QHash<QString, QString> files; // name -> path
    for (const Bell &bell : bells) {
        if (files.contains(bell.music) || refused.contains(bell.music))
            continue;
        const MusicFile music = MusicFile::of(bell.music);
        // The program's own sounds of a new folder are being made beside the clock: one not
        // there yet is no fault of the schedule, and one that cannot be written is told by that.
        if (ProgramSounds::isProgramSound(bell.music) &&
            (!music.ok() || !QFileInfo::exists(music.path)))
            continue;
        if (music.ok())
            files.insert(bell.music, music.path);
        else
            refused.insert(bell.music, music.refusal);
    }
    if (files.isEmpty() && refused.isEmpty())
        return;
    const QString output = audioSinkDescription();
    if (m_thread)
        m_thread->wait();
    QPointer<DayCheck> self(this);
    m_thread.reset(QThread::create([self, output, files, refused, date, bells] {
        // Asked here rather than at each bell: a sound server that does not answer holds up
        // this thread, not the start.
        const QString outputProblem = GstMediaLayer::outputProblem(output);
        QHash<QString, QString> problems = refused;
        for (auto it = files.begin(); it != files.end(); ++it) {
            const QString problem = problemWith(it.value());
            if (!problem.isEmpty())
                problems.insert(it.key(), problem);
        }
        // The object waits for this thread before it goes, so it is still there to be told.
        QMetaObject::invokeMethod(
            self.data(),
            [self, date, bells, problems, outputProblem] {
                self->finish(date, bells, problems, outputProblem);
            },
            Qt::QueuedConnection);
    }));
    m_thread->start(QThread::LowPriority);
}

void DayCheck::finish(const QDate &date, const QList<Bell> &bells,
                      const QHash<QString, QString> &problems, const QString &outputProblem) {
    if (!outputProblem.isEmpty() && m_report)
        m_report(QStringLiteral("Bugünün zilleri duyulmayacak: %1 (ses sunucusu çalışmıyor ya da "
                                "ses kartı bulunamadı).")
                     .arg(outputProblem));
    if (!problems.isEmpty()) {
        emit cannotPlay(date, problems);
        QStringList lines;
        for (auto it = problems.begin(); it != problems.end(); ++it)
            lines.append(QStringLiteral("- %1: %2").arg(it.key(), it.value()));
        lines.sort();
        if (m_report)
            m_report(QStringLiteral("Bugünün zillerinden bazılarının müziği açılamıyor; bu "
                                    "zillerde müzik yerine programın kendi zil sesi çalacak:\n") +
                     lines.join(QLatin1Char('\n')));
        try {
            // A program started again the same day finds its warnings there already: one line
            // per bell and music a day, however often it starts.
            QSet<QPair<int, QString>> warned;
            for (const BellEvent &event : m_store.history(date, date))
                if (event.outcome == BellOutcome::Warning)
                    warned.insert({event.bellId, event.music});
            for (const Bell &bell : bells) {
                const auto problem = problems.constFind(bell.music);
                if (problem == problems.constEnd() || warned.contains({bell.id, bell.music}))
                    continue;
                warned.insert({bell.id, bell.music});
                BellEvent warning{date,       bell.id,
                                  bell.name,  bell.start.toString(),
                                  bell.music, BellOutcome::Warning,
                                  0,          *problem};
                warning.recordedAt = programClock().now();
                m_store.record(warning);
            }
        } catch (const ZilError &) {
            // The message above already names the files; the record is only the trace of it.
        }
    }
    emit checked(date);
}
