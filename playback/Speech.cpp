#include "Speech.h"

#include "FileBeside.h"
#include "SpokenTurkish.h"
#include "ZilError.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

#include <espeak-ng/espeak_ng.h>

#include <vector>

#include <sys/stat.h>

namespace Speech {

namespace {

// espeak-ng's one synthesiser, and whether it is set up. A failed set-up is tried again on the next
// call: the voice data may have been installed meanwhile.
QMutex engineLock;
bool engineReady = false;
int engineRate = 0;

QString statusText(espeak_ng_STATUS status) {
    char buffer[512] = {};
    espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
    return QString::fromLocal8Bit(buffer).trimmed();
}

// Called by espeak-ng, on the calling thread, with each block of samples.
int collect(short *samples, int count, espeak_EVENT *events) {
    auto *out = static_cast<std::vector<qint16> *>(events->user_data);
    if (samples && count > 0)
        out->insert(out->end(), samples, samples + count);
    return 0;
}

void startEngine() {
    if (engineReady)
        return;
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    const espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    espeak_ng_ClearErrorContext(&context);
    if (status != ENS_OK)
        throw ZilError(QStringLiteral("Konuşma sesi başlatılamadı: espeak-ng'nin ses verisi "
                                      "bulunamadı (espeak-ng-data paketi kurulu olmalı). %1")
                           .arg(statusText(status)));
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK)
        throw ZilError(QStringLiteral("Konuşma sesi başlatılamadı."));
    espeak_SetSynthCallback(collect);
    engineRate = espeak_ng_GetSampleRate();
    engineReady = true;
}

QByteArray pcmWave(const std::vector<qint16> &samples, int rate) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    const auto dataBytes = quint32(samples.size() * sizeof(qint16));
    s.writeRawData("RIFF", 4);
    s << quint32(36 + dataBytes);
    s.writeRawData("WAVEfmt ", 8);
    s << quint32(16) << quint16(1) /* PCM */ << quint16(1) /* mono */ << quint32(rate)
      << quint32(rate * 2) << quint16(2) << quint16(16);
    s.writeRawData("data", 4);
    s << dataBytes;
    for (qint16 v : samples)
        s << v;
    return out;
}

} // namespace

QString folderName() {
    return QStringLiteral("Anonslar");
}

QString soundName(const QString &text) {
    const QByteArray digest =
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folderName() + QStringLiteral("/anons-") + QString::fromLatin1(digest) +
           QStringLiteral(".wav");
}

QByteArray wave(const QString &text) {
    const QString words = SpokenTurkish::spoken(text).simplified();
    if (words.isEmpty())
        throw ZilError(QStringLiteral("Anons metni boş: okunacak bir şey yazılmadı."));
    if (text.size() > MaxCharacters)
        throw ZilError(QStringLiteral("Anons metni çok uzun: en çok %1 karakter okunabilir, "
                                      "metin %2 karakter.")
                           .arg(MaxCharacters)
                           .arg(text.size()));
    const QByteArray utf8 = words.toUtf8();

    std::vector<qint16> samples;
    int rate = 0;
    {
        const QMutexLocker locker(&engineLock);
        startEngine();
        // Set on every call: nothing else in the program speaks, but the voice is part of the
        // engine's global state, not of this text.
        if (espeak_ng_SetVoiceByName("tr") != ENS_OK)
            throw ZilError(QStringLiteral("Türkçe konuşma sesi bulunamadı: espeak-ng-data paketi "
                                          "kurulu olmalı."));
        // A little slower than espeak-ng's conversational pace: a school's loudspeakers echo.
        espeak_ng_SetParameter(espeakRATE, 150, 0);
        const espeak_ng_STATUS status =
            espeak_ng_Synthesize(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                                 espeakCHARS_UTF8, nullptr, &samples);
        if (status != ENS_OK)
            throw ZilError(QStringLiteral("Metin seslendirilemedi: %1").arg(statusText(status)));
        rate = engineRate;
    }
    if (samples.empty() || rate <= 0)
        throw ZilError(QStringLiteral("Metin seslendirilemedi: hiç ses çıkmadı."));
    return pcmWave(samples, rate);
}

void write(const QString &text, const QString &target) {
    const QByteArray data = wave(text);
    const QFileInfo info(target);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString folder = info.absolutePath();
    const bool madeFolder = !QFileInfo::exists(folder);
    if (!QDir().mkpath(folder))
        throw ZilError(QStringLiteral("Anons için klasör oluşturulamadı: %1")
                           .arg(QDir::toNativeSeparators(folder)));
    // A new folder opens to whoever may open the folder it is in (Muzikler, with its group),
    // whatever this user's umask: the installed program's service plays from it.
    struct stat parent {};
    if (madeFolder &&
        ::stat(QFile::encodeName(QFileInfo(folder).absolutePath()).constData(), &parent) == 0)
        ::chmod(QFile::encodeName(folder).constData(), parent.st_mode & 02777);
    // Whoever may read the folder may read the announcement, whatever this user's umask: the
    // installed program's service plays it. Set on the new file before it takes the name, and
    // written beside so that a link planted under the name never leads the write elsewhere.
    const QFileDevice::Permissions folderMay = QFileInfo(info.absolutePath()).permissions();
    const mode_t mode = S_IRUSR | S_IWUSR |
                        (folderMay.testFlag(QFileDevice::ReadGroup) ? S_IRGRP : 0) |
                        (folderMay.testFlag(QFileDevice::ReadOther) ? S_IROTH : 0);
    if (const QString why = FileBeside::write(target, data, FileBeside::Existing::Replace, mode);
        !why.isEmpty())
        throw ZilError(QStringLiteral("'%1' yazılamadı: klasöre yazılamıyor ya da disk dolu "
                                      "olabilir (%2).")
                           .arg(shown, why));
}

} // namespace Speech
