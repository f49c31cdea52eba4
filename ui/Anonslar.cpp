#include "Anonslar.h"
#include "ui_Anonslar.h"

#include "Clock.h"
#include "ErrorBox.h"
#include "RoleGate.h"

#include "MediaPlayerDevice.h"
#include "MusicFile.h"
#include "MusicImport.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "Speech.h"
#include "WindowLook.h"
#include <QBoxLayout>

#include <QButtonGroup>
#include <QFile>
#include <QShortcut>
#include <QThread>

namespace {
enum Column { ColAd, ColNeZaman, ColSaat, ColSure, ColSes };
} // namespace

TfrmAnonslar::TfrmAnonslar(BellStore &store, MediaPlayerDevice &player, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::TfrmAnonslar>())
    , m_store(store)
    , m_player(player) {
    setFont(programFont());
    ui->setupUi(this);
    // Two choices on one form: what sounds and when.
    m_what = new QButtonGroup(this);
    m_what->addButton(ui->rbMetin);
    m_what->addButton(ui->rbKayit);
    m_when = new QButtonGroup(this);
    m_when->addButton(ui->rbHaftalik);
    m_when->addButton(ui->rbTarih);
    ui->rbMetin->setChecked(true);
    ui->rbHaftalik->setChecked(true);
    ui->cmbGun->addItems(GunAdlari());
    ui->lvAnonslar->setSelectionMode(QAbstractItemView::SingleSelection);
    ChooseMusicFile = [this] { return runMusicDialog(makeMusicDialog(this)); };

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(ui->btnKapat, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnYeni, &QPushButton::clicked, this, handled([this] { btnYeniClick(); }));
    connect(ui->btnDinle, &QPushButton::clicked, this, handled([this] { btnDinleClick(); }));
    // Beside "Dinle", which plays on this computer only: this one is heard by the school.
    auto *now = new QPushButton(QStringLiteral("Şimdi anons et"), ui->btnDinle->parentWidget());
    now->setObjectName(QStringLiteral("btnSimdi"));
    now->setToolTip(QStringLiteral("Seçili anonsu, önünde anons çanıyla, zillerin çaldığı "
                                   "hoparlörlerden şimdi çalar"));
    if (auto *row = ui->btnDinle->parentWidget()->layout()) {
        if (auto *box = qobject_cast<QBoxLayout *>(row))
            box->insertWidget(box->indexOf(ui->btnDinle) + 1, now);
        else
            row->addWidget(now);
    }
    connect(now, &QPushButton::clicked, this, handled([this] { btnSimdiClick(); }));
    connect(ui->btnKaydet, &QPushButton::clicked, this, handled([this] { btnKaydetClick(); }));
    connect(ui->btnSil, &QPushButton::clicked, this, handled([this] { btnSilClick(); }));
    connect(ui->btnDosya, &QPushButton::clicked, this, handled([this] {
                const QString name = importMusic(ChooseMusicFile ? ChooseMusicFile() : QString());
                if (!name.isEmpty())
                    ui->txtDosya->setText(name);
            }));
    connect(m_what, &QButtonGroup::buttonToggled, this, [this] { showKinds(); });
    connect(m_when, &QButtonGroup::buttonToggled, this, [this] { showKinds(); });
    connect(ui->lvAnonslar, &QTreeWidget::itemSelectionChanged, this, handled([this] {
                const QList<QTreeWidgetItem *> selected = ui->lvAnonslar->selectedItems();
                if (selected.isEmpty())
                    return;
                const int id = selected.first()->data(ColAd, Qt::UserRole).toInt();
                if (id == m_editing)
                    return;
                if (mayLeaveForm()) {
                    load(id);
                    return;
                }
                // Back to the one whose fields are shown.
                const QSignalBlocker quiet(ui->lvAnonslar);
                ui->lvAnonslar->clearSelection();
                for (int row = 0; row < ui->lvAnonslar->topLevelItemCount(); ++row) {
                    QTreeWidgetItem *item = ui->lvAnonslar->topLevelItem(row);
                    item->setSelected(item->data(ColAd, Qt::UserRole).toInt() == m_editing);
                }
            }));
    showKinds();
    clearForm();
}

TfrmAnonslar::~TfrmAnonslar() {
    // The synthesis writes into Muzikler and must not outlive the window that waits for it.
    if (m_work) {
        m_work->wait();
        delete m_work;
    }
}

void TfrmAnonslar::ShowAnnouncements() {
    // Closing only hides the window: what was typed and not saved is still there when it opens.
    const bool saved = formState() == m_savedForm;
    fill();
    if (saved)
        clearForm();
    if (!isVisible())
        adjustSize();
    bringToFront(*this);
}

void TfrmAnonslar::showKinds() {
    const bool text = ui->rbMetin->isChecked();
    ui->txtMetin->setEnabled(text);
    ui->txtDosya->setEnabled(!text);
    ui->btnDosya->setEnabled(!text);
    const bool weekly = ui->rbHaftalik->isChecked();
    ui->cmbProgram->setEnabled(weekly);
    ui->cmbGun->setEnabled(weekly);
    ui->dtpTarih->setEnabled(!weekly);
}

void TfrmAnonslar::fill() {
    const int chosen = ui->cmbProgram->currentData().toInt();
    ui->cmbProgram->clear();
    QHash<int, QString> programmeNames;
    for (const Programme &p : m_store.programmes()) {
        ui->cmbProgram->addItem(p.name, p.id);
        programmeNames.insert(p.id, p.name);
    }
    ui->cmbProgram->setCurrentIndex(qMax(0, ui->cmbProgram->findData(chosen)));

    const QSignalBlocker quiet(ui->lvAnonslar);
    ui->lvAnonslar->clear();
    for (const Announcement &a : m_store.announcements()) {
        auto *row = new QTreeWidgetItem(ui->lvAnonslar);
        row->setText(ColAd, a.name);
        row->setText(ColNeZaman,
                     a.date.isValid()
                         ? a.date.toString(QStringLiteral("dd.MM.yyyy"))
                         : QStringLiteral("Her %1 (%2)")
                               .arg(GunAdlari().value(a.gunId),
                                    programmeNames.value(a.programme, QStringLiteral("silinmiş"))));
        row->setText(ColSaat, a.at.isValid() ? a.at.toString(QStringLiteral("HH:mm:ss"))
                                             : QStringLiteral("?"));
        row->setText(ColSure, a.sure == 0 ? QStringLiteral("tamamı") : QString::number(a.sure));
        row->setText(ColSes, a.spoken() ? QStringLiteral("Metin: ") + a.text.simplified().left(40)
                                        : QStringLiteral("Kayıt: ") + a.sound);
        row->setData(ColAd, Qt::UserRole, a.id);
        if (a.id == m_editing)
            row->setSelected(true);
    }
    for (int column = 0; column < ui->lvAnonslar->columnCount(); ++column)
        ui->lvAnonslar->resizeColumnToContents(column);
}

QString TfrmAnonslar::formState() const {
    return QStringList{ui->txtAd->text(),
                       ui->txtMetin->toPlainText(),
                       ui->txtDosya->text(),
                       QString::number(ui->rbMetin->isChecked()),
                       QString::number(ui->rbHaftalik->isChecked()),
                       ui->cmbProgram->currentText(),
                       QString::number(ui->cmbGun->currentIndex()),
                       ui->dtpTarih->date().toString(Qt::ISODate),
                       ui->tmSaat->time().toString(Qt::ISODate),
                       QString::number(ui->txtSure->value())}
        .join(QChar(0));
}

bool TfrmAnonslar::mayLeaveForm() {
    return formState() == m_savedForm ||
           askYesNo(this, windowTitle(),
                    QStringLiteral("Yazdıklarınız kaydedilmedi. Bırakılsın mı?"));
}

void TfrmAnonslar::btnYeniClick() {
    if (mayLeaveForm())
        clearForm();
}

void TfrmAnonslar::clearForm() {
    m_editing = 0;
    ui->lvAnonslar->clearSelection();
    ui->txtAd->clear();
    ui->txtMetin->clear();
    ui->txtDosya->clear();
    ui->rbMetin->setChecked(true);
    ui->rbHaftalik->setChecked(true);
    const QDateTime now = programClock().now();
    ui->dtpTarih->setDate(now.date());
    ui->tmSaat->setTime(QTime(now.time().hour(), 0).addSecs(3600));
    ui->txtSure->setValue(0);
    ui->lblDurum->clear();
    m_savedForm = formState();
}

void TfrmAnonslar::load(int id) {
    const std::optional<Announcement> a = m_store.announcement(id);
    if (!a) {
        fill();
        return;
    }
    m_editing = id;
    ui->txtAd->setText(a->name);
    (a->spoken() ? ui->rbMetin : ui->rbKayit)->setChecked(true);
    ui->txtMetin->setPlainText(a->text);
    ui->txtDosya->setText(a->spoken() ? QString() : a->sound);
    (a->date.isValid() ? ui->rbTarih : ui->rbHaftalik)->setChecked(true);
    if (a->date.isValid())
        ui->dtpTarih->setDate(a->date);
    else {
        ui->cmbProgram->setCurrentIndex(qMax(0, ui->cmbProgram->findData(a->programme)));
        ui->cmbGun->setCurrentIndex(a->gunId);
    }
    ui->tmSaat->setTime(a->at);
    ui->txtSure->setValue(a->sure);
    ui->lblDurum->setText(QStringLiteral("Düzenleniyor: %1").arg(a->name));
    m_savedForm = formState();
}

std::optional<Announcement> TfrmAnonslar::fromFields() {
    Announcement a;
    a.id = m_editing;
    a.name = ui->txtAd->text().simplified();
    if (a.name.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen anonsun adını yazın."));
        return std::nullopt;
    }
    if (ui->rbMetin->isChecked()) {
        a.text = ui->txtMetin->toPlainText().trimmed();
        if (a.text.isEmpty()) {
            showMessage(this, QStringLiteral("Lütfen okunacak metni yazın."));
            return std::nullopt;
        }
    } else {
        a.sound = ui->txtDosya->text();
        if (a.sound.isEmpty()) {
            showMessage(this, QStringLiteral("Lütfen anonsun kaydını seçin."));
            return std::nullopt;
        }
    }
    if (ui->rbTarih->isChecked()) {
        a.date = ui->dtpTarih->date();
        if (a.date < programClock().now().date()) {
            showMessage(this, QStringLiteral("Bu tarih geçti; anons çalmazdı. Lütfen bugün ya da "
                                             "ileri bir tarih seçin."));
            return std::nullopt;
        }
    } else {
        a.programme = ui->cmbProgram->currentData().toInt();
        a.gunId = ui->cmbGun->currentIndex();
    }
    const QTime t = ui->tmSaat->time();
    a.at = QTime(t.hour(), t.minute(), t.second());
    a.sure = ui->txtSure->value();
    return a;
}

void TfrmAnonslar::speak(const QString &text, const QString &target,
                         std::function<void(const QString &failure)> then) {
    auto failure = std::make_shared<QString>();
    m_work = QThread::create([text, target, failure] {
        try {
            Speech::write(text, target);
        } catch (const ZilError &e) {
            *failure = e.message();
        } catch (const std::exception &e) {
            *failure =
                QStringLiteral("Metin seslendirilemedi: %1").arg(QString::fromLocal8Bit(e.what()));
        }
    });
    for (QWidget *w : {ui->btnKaydet, ui->btnDinle, ui->btnSil, ui->btnYeni})
        w->setEnabled(false);
    ui->lblDurum->setText(QStringLiteral("Seslendiriliyor…"));
    connect(m_work, &QThread::finished, this, [this, failure, then = std::move(then)] {
        m_work->deleteLater();
        m_work = nullptr;
        for (QWidget *w : {ui->btnKaydet, ui->btnDinle, ui->btnSil, ui->btnYeni})
            w->setEnabled(true);
        ui->lblDurum->clear();
        runHandler([&] { then(*failure); });
        emit spoken();
    });
    m_work->start();
}

void TfrmAnonslar::btnDinleClick() {
    // Heard through the building's loudspeakers: as music played by hand.
    if (!allowedBy(m_gate, Action::PlayMusic, this))
        return;
    if (busy())
        return;
    if (ui->rbKayit->isChecked()) {
        if (ui->txtDosya->text().isEmpty()) {
            showMessage(this, QStringLiteral("Lütfen önce anonsun kaydını seçin."));
            return;
        }
        const MusicFile file = MusicFile::of(ui->txtDosya->text());
        if (!file.ok()) {
            showMessage(this, file.refusal);
            return;
        }
        play(file.path);
        return;
    }
    const QString text = ui->txtMetin->toPlainText().trimmed();
    if (text.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen okunacak metni yazın."));
        return;
    }
    if (!m_preview.isValid()) {
        showMessage(this, QStringLiteral("Dinlemek için geçici klasör oluşturulamadı."));
        return;
    }
    // A new name each time: the player bar may still hold the one it played last.
    const QString target = m_preview.filePath(QStringLiteral("dinle-%1.wav").arg(++m_previews));
    speak(text, target, [this, target](const QString &failure) {
        if (!failure.isEmpty()) {
            showMessage(this, failure);
            return;
        }
        play(target);
    });
}

void TfrmAnonslar::play(const QString &file) {
    m_player.Close();
    m_player.setFileName(file);
    m_player.Open();
    m_player.Play();
    ui->lblDurum->setText(QStringLiteral("Çalınıyor; çalar çubuğunun durdur düğmesiyle "
                                         "durdurabilirsiniz."));
}

void TfrmAnonslar::btnKaydetClick() {
    if (busy() || !allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    std::optional<Announcement> a = fromFields();
    if (!a)
        return;
    if (!a->spoken()) {
        save(*a);
        return;
    }
    a->sound = Speech::soundName(a->text);
    speak(a->text, musicFolder() + a->sound, [this, a = *a](const QString &failure) {
        if (!failure.isEmpty()) {
            // The window stays as it is, with the text, so nothing typed is lost.
            showMessage(this, QStringLiteral("Anons kaydedilmedi. %1").arg(failure));
            return;
        }
        save(a);
    });
}

void TfrmAnonslar::save(Announcement a) {
    std::optional<Announcement> before;
    if (a.id)
        before = m_store.announcement(a.id);
    if (!before || !m_store.updateAnnouncement(a)) {
        // Deleted meanwhile by another window: saved anew rather than lost.
        a.id = m_store.addAnnouncement(a);
    }
    if (before && before->sound != a.sound)
        forget(before->sound);
    m_editing = a.id;
    fill();
    m_savedForm = formState();
    ui->lblDurum->setText(QStringLiteral("Kaydedildi: %1.").arg(a.name));
}

void TfrmAnonslar::btnSimdiClick() {
    if (!AnnounceNow || busy() || !allowedBy(m_gate, Action::AnnounceNow, this))
        return;
    const std::optional<Announcement> a =
        m_editing ? m_store.announcement(m_editing) : std::optional<Announcement>();
    if (!a) {
        showMessage(this, QStringLiteral("Şimdi anons etmek için listeden kayıtlı bir anons "
                                         "seçin."));
        return;
    }
    AnnounceNow(*a);
    ui->lblDurum->setText(QStringLiteral("Anons ediliyor: %1.").arg(a->name));
}

void TfrmAnonslar::btnSilClick() {
    if (busy() || !allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const std::optional<Announcement> a =
        m_editing ? m_store.announcement(m_editing) : std::optional<Announcement>();
    if (!a) {
        showMessage(this, QStringLiteral("Silmek için lütfen listeden bir anons seçin."));
        return;
    }
    if (!askYesNo(this, windowTitle(), QStringLiteral("\"%1\" anonsu silinsin mi?").arg(a->name)))
        return;
    m_store.removeAnnouncement(a->id);
    forget(a->sound);
    clearForm();
    fill();
    ui->lblDurum->setText(QStringLiteral("Silindi: %1.").arg(a->name));
}

void TfrmAnonslar::forget(const QString &sound) {
    // Only the program's own speech files; a school's recording stays in Muzikler.
    if (!sound.startsWith(Speech::folderName() + QStringLiteral("/anons-")))
        return;
    for (const Announcement &other : m_store.announcements())
        if (other.sound == sound)
            return;
    QFile::remove(musicFolder() + sound);
}
