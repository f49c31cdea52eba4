#include "MusicImport.h"

#include "ErrorBox.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "ZilError.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QToolButton>

namespace {
// Every kind the player plays, in one filter first; one per kind after it.
const QStringList &musicFilters() {
    static const QStringList filters = {
        QStringLiteral("Ses dosyaları (*.wav *.mp3 *.ogg *.flac)"),
        QStringLiteral("Wav dosyası (*.wav)"), QStringLiteral("Mp3 dosyası (*.mp3)"),
        QStringLiteral("Ogg dosyası (*.ogg)"), QStringLiteral("Flac dosyası (*.flac)")};
    return filters;
}

// Music is looked for where the user keeps it, never beside the program.
QString musicStartFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QDir(music).exists() ? music : QDir::homePath();
}

// Music files can be large, so they are compared block by block after their sizes.
bool sameContent(const QString &a, const QString &b) {
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size())
        return false;
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 block = 64 * 1024;
    while (!first.atEnd()) {
        const QByteArray x = first.read(block);
        const QByteArray y = second.read(block);
        if (x.isEmpty() || x != y)
            return false;
    }
    return second.atEnd();
}

QString numberedName(const QString &name, int n) {
    if (n == 1)
        return name;
    const QFileInfo info(name);
    QString base = info.completeBaseName();
    QString suffix = info.suffix();
    if (base.isEmpty() || suffix.isEmpty()) {
        base = name;
        suffix.clear();
    }
    const QString numbered = base + QStringLiteral(" (%1)").arg(n);
    return suffix.isEmpty() ? numbered : numbered + QLatin1Char('.') + suffix;
}

QString shown(const QString &path) {
    return QDir::toNativeSeparators(path);
}
} // namespace

QFileDialog *makeMusicDialog(QWidget *parent) {
    auto *dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("odMuzikDosyasi"));
    // Qt's own dialog, so the filters below behave the same on every desktop.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(musicFilters());
    dialog->selectNameFilter(musicFilters().at(0));
    dialog->setDirectory(musicStartFolder());
    // "*.mp3" must also offer "zil.Mp3" and "ZIL.MP3".
    dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
    return dialog;
}

QString runMusicDialog(QFileDialog *dialog) {
    // selectFile() ignores an empty name, so the field of Qt's own dialog is emptied directly.
    if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        name->clear();
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}

QString musicImportName(const QString &source, const QString &musicFolder) {
    const QFileInfo info(source);
    if (!info.isFile())
        throw ZilError(QStringLiteral("Seçilen müzik dosyası bulunamadı: %1").arg(shown(source)));
    QFile probe(source);
    if (!probe.open(QIODevice::ReadOnly))
        throw ZilError(QStringLiteral("Seçilen müzik dosyası okunamadı: %1").arg(shown(source)));
    probe.close();

    const QString name = info.fileName();
    const QDir folder(musicFolder);
    for (int n = 1;; ++n) {
        const QString candidate = numberedName(name, n);
        const QString target = folder.filePath(candidate);
        if (!QFileInfo::exists(target) || sameContent(source, target))
            return candidate;
    }
}

QString importMusic(const QString &chosen) {
    const QString folder = QDir::cleanPath(musicFolder());
    if (!QDir().mkpath(folder))
        throw ZilError(QStringLiteral("Muzikler klasörü oluşturulamadı: %1").arg(shown(folder)));
    if (chosen.isEmpty())
        return {};

    const QString name = musicImportName(chosen, folder);
    const QString target = QDir(folder).filePath(name);
    // The copy never overwrites: an existing file of this name already holds the same content.
    if (!QFileInfo::exists(target) && !QFile::copy(chosen, target))
        throw ZilError(QStringLiteral("'%1' Muzikler klasörüne kopyalanamadı: klasöre "
                                      "yazılamıyor ya da disk dolu olabilir.")
                           .arg(shown(chosen)));
    return name;
}

void offerProgramSounds(QToolButton *button, std::function<void(const QString &name)> chosen) {
    auto *menu = new QMenu(button);
    menu->setObjectName(QStringLiteral("mnuProgramSesleri"));
    for (const ProgramSounds::Sound sound : ProgramSounds::all()) {
        if (sound == ProgramSounds::Sound::SabitSiren)
            menu->addSeparator();
        QAction *action = menu->addAction(ProgramSounds::title(sound));
        QObject::connect(action, &QAction::triggered, button,
                         handled([sound, chosen] { chosen(ProgramSounds::ensure(sound)); }));
    }
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolTip(QStringLiteral("Programın sesleri: okul zilleri ve sirenler"));
}
