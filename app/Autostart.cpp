#include "Autostart.h"

#include "ZilError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
// A desktop entry's Exec argument: in double quotes with ", `, $ and \ escaped and % doubled,
// then the backslashes escaped once more, as in every string value of the entry.
QString execArgument(const QString &path) {
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    for (const QChar special : {QLatin1Char('"'), QLatin1Char('`'), QLatin1Char('$')})
        quoted.replace(special, QLatin1String("\\") + special);
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    return quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}
} // namespace

namespace Autostart {

QString entryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/selvanor-zil.desktop");
}

bool isOn() {
    return QFile::exists(entryFile());
}

void set(bool on, const QString &program) {
    const QString file = entryFile();
    if (!on) {
        if (QFile::exists(file) && !QFile::remove(file))
            throw ZilError(QStringLiteral("Oturum açılınca başlatma kaldırılamadı: %1")
                               .arg(QDir::toNativeSeparators(file)));
        return;
    }
    QSaveFile entry(file);
    const bool made =
        QDir().mkpath(QFileInfo(file).path()) && entry.open(QIODevice::WriteOnly | QIODevice::Text);
    if (made) {
        const QString text = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Selvanor Zil Sistemi\n"
                                            "Comment=Ders zillerini haftalık programa göre çalar\n"
                                            "Exec=%1 %2\n"
                                            "Icon=selvanor-zil\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(execArgument(program), QLatin1String(MinimisedArgument));
        entry.write(text.toUtf8());
    }
    if (!made || !entry.commit())
        throw ZilError(QStringLiteral("Oturum açılınca başlatma yazılamadı: %1")
                           .arg(QDir::toNativeSeparators(file)));
}

} // namespace Autostart
