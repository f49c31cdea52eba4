#include "Yedekleme.h"

#include "Backup.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "Schedule.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>

#include <exception>

namespace Yedekleme {

namespace {
const QString filter = QStringLiteral("Zil yedekleri (*.tar.gz *.tgz *.tar)");

QString defaultFolder() {
    // A folder that does not exist would be taken for a file name and typed into the name box.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// Runs `work` on a thread of its own behind a progress window; the event loop, and with it the
// bell clock, runs meanwhile. What `work` throws is thrown here.
void aside(QWidget *parent, const QString &text, const std::function<void()> &work) {
    std::exception_ptr error;
    QProgressDialog progress(text, QString(), 0, 0, parent);
    progress.setWindowTitle(boxTitle(parent));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setCancelButton(nullptr);
    QEventLoop loop;
    QThread *worker = QThread::create([&] {
        // A backup or a restore check of hundreds of megabytes, while the bells ring.
        Backup::yieldToTheBells();
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    });
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    delete worker;
    progress.close();
    if (error)
        std::rethrow_exception(error);
}
} // namespace

std::function<QString(QWidget *)> chooseSaveFile = [](QWidget *parent) {
    // Plain tar unless the user names a .tar.gz: the music does not compress, and gzip would
    // triple the wait.
    const QString name = QStringLiteral("zil-yedegi-%1.tar")
                             .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QString file = QFileDialog::getSaveFileName(parent, QStringLiteral("Yedekle"),
                                                defaultFolder() + QLatin1Char('/') + name, filter);
    if (!file.isEmpty() && !file.endsWith(QLatin1String(".tar.gz")) &&
        !file.endsWith(QLatin1String(".tgz")) && !file.endsWith(QLatin1String(".tar")))
        file += QStringLiteral(".tar");
    return file;
};

std::function<QString(QWidget *)> chooseOpenFile = [](QWidget *parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Yedekten geri yükle"),
                                        defaultFolder(), filter);
};

void backUp(QWidget *parent) {
    const QString file = chooseSaveFile(parent);
    if (file.isEmpty())
        return;
    // The data folder itself would be packed into its next backup.
    if (QDir::cleanPath(QFileInfo(file).absolutePath()) == QDir::cleanPath(dataFolder())) {
        showMessage(parent, QStringLiteral("Yedeği programın veri klasörünün dışına, örneğin bir "
                                           "USB belleğe kaydedin."));
        return;
    }
    Backup::Made made;
    // The database is copied here, between this thread's saves; the music is packed aside.
    const std::function<Backup::Made()> packing = Backup::makeAside(dataFolder(), file);
    aside(parent, QStringLiteral("Yedek alınıyor…"), [&] { made = packing(); });
    QString text = QStringLiteral("Yedek alındı: %1\n%2 müzik dosyası, %3 MB.")
                       .arg(QDir::toNativeSeparators(made.file))
                       .arg(made.musicFiles)
                       .arg(double(made.bytes) / (1024 * 1024), 0, 'f', 1);
    if (!made.missingMusic.isEmpty())
        text += QStringLiteral("\n\nZillerin kullandığı şu müzik dosyaları bulunamadığı için "
                               "yedekte yok:\n") +
                made.missingMusic.mid(0, 10).join(QLatin1Char('\n'));
    showMessage(parent, text);
}

void restore(QWidget *parent, const std::function<void()> &restored) {
    const QString file = chooseOpenFile(parent);
    if (file.isEmpty())
        return;
    std::unique_ptr<Backup::Restore> restore;
    aside(parent, QStringLiteral("Yedek denetleniyor…"),
          [&] { restore = Backup::Restore::check(file, dataFolder()); });
    if (!askYesNo(parent, QStringLiteral("Yedekten geri yükle"),
                  restore->contents().line() +
                      QStringLiteral("\n\nŞu anki zil programı ve müzikler önce Yedekler "
                                     "klasörüne yedeklenecek, sonra yerine bu yedektekiler "
                                     "konacak. Geri yüklensin mi?"),
                  QStringLiteral("Geri yükle"), QStringLiteral("Vazgeç")))
        return;
    aside(parent, QStringLiteral("Geri yükleniyor…"), [&] { restore->apply(); });
    const QString kept = restore->safetyCopy();
    aside(parent, QStringLiteral("Geçici dosyalar siliniyor…"), [&] { restore.reset(); });
    if (restored)
        restored();
    showMessage(parent, QStringLiteral("Yedek geri yüklendi; ziller artık bu yedekteki "
                                       "programla çalacak.") +
                            (kept.isEmpty() ? QString()
                                            : QStringLiteral("\nÖnceki durumun yedeği: ") +
                                                  QDir::toNativeSeparators(kept)));
}

void settings(QWidget *parent) {
    const Backup::Keeping now = Backup::keeping(DatabaseFile());
    bool ok = false;
    const int daily = QInputDialog::getInt(
        parent, QStringLiteral("Yedek ayarları"),
        QStringLiteral("Yedekler klasöründe kaç günlük yedek saklansın? (1-365)"), now.daily, 1,
        365, 1, &ok);
    if (!ok)
        return;
    const int monthly = QInputDialog::getInt(parent, QStringLiteral("Yedek ayarları"),
                                             QStringLiteral("Kaç aylık yedek saklansın? (0-120)"),
                                             now.monthly, 0, 120, 1, &ok);
    if (!ok)
        return;
    Backup::setKeeping(DatabaseFile(), {daily, monthly});
    showMessage(parent, QStringLiteral("Yedek ayarları kaydedildi: son %1 gün ve son %2 ay "
                                       "saklanacak.")
                            .arg(daily)
                            .arg(monthly));
}

} // namespace Yedekleme
