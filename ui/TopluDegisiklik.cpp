#include "TopluDegisiklik.h"
#include "ui_TopluDegisiklik.h"

#include "RoleGate.h"

#include "BellStore.h"
#include "ErrorBox.h"
#include "Programlar.h"
#include "Schedule.h"
#include "WindowLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSpinBox>

#include <algorithm>

TfrmTopluDegisiklik::TfrmTopluDegisiklik(BellStore &store, std::function<void()> listeyiDoldur,
                                         QWidget *parent)
    : QDialog(parent, toolWindowFlags)
    , ui(std::make_unique<Ui::TfrmTopluDegisiklik>())
    , m_store(store)
    , m_listeyiDoldur(std::move(listeyiDoldur)) {
    ui->setupUi(this);
    QCheckBox *const days[] = {ui->cbGun0, ui->cbGun1, ui->cbGun2, ui->cbGun3,
                               ui->cbGun4, ui->cbGun5, ui->cbGun6};
    std::copy(std::begin(days), std::end(days), cbGun);
    cmbYon = ui->cmbYon;
    txtDakika = ui->txtDakika;
    txtSaniye = ui->txtSaniye;
    cmbKaynak = ui->cmbKaynak;
    cmbKaynakProgram = ui->cmbKaynakProgram;
    rbEkle = ui->rbEkle;
    rbDegistir = ui->rbDegistir;
    btnKaydir = ui->btnKaydir;
    btnKopyala = ui->btnKopyala;
    btnSil = ui->btnSil;
    lblDurum = ui->lblDurum;
    // The list's index is the day's number, as everywhere the days are chosen.
    cmbKaynak->addItems(GunAdlari());
    // Past the seven days: each ticked day takes its own weekday's bells, so a whole programme
    // is copied in one go.
    cmbKaynak->addItem(QStringLiteral("Her gün kendi gününden"));

    // Enter in a number field must not shift, copy or delete by itself.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    connect(btnKaydir, &QPushButton::clicked, this, handled([this] { btnKaydirClick(); }));
    connect(btnKopyala, &QPushButton::clicked, this, handled([this] { btnKopyalaClick(); }));
    connect(btnSil, &QPushButton::clicked, this, handled([this] { btnSilClick(); }));
    connect(ui->btnKapat, &QPushButton::clicked, this, &QDialog::hide);
}

TfrmTopluDegisiklik::~TfrmTopluDegisiklik() = default;

void TfrmTopluDegisiklik::ShowFor(int gunIndex, int programme) {
    m_programme = programme;
    QString name = QStringLiteral("Normal");
    cmbKaynakProgram->clear();
    for (const Programme &each : m_store.programmes()) {
        cmbKaynakProgram->addItem(each.name, each.id);
        if (each.id == programme)
            name = each.name;
    }
    cmbKaynakProgram->setCurrentIndex(qMax(0, cmbKaynakProgram->findData(programme)));
    // Every change here is to one programme's bells: the title says whose.
    setWindowTitle(QStringLiteral("Toplu Değişiklik - %1 programı").arg(name));
    for (int gunId = 0; gunId < 7; ++gunId)
        cbGun[gunId]->setChecked(gunId == gunIndex);
    cmbKaynak->setCurrentIndex(gunIndex);
    lblDurum->clear();
    bringToFront(*this);
}

QList<int> TfrmTopluDegisiklik::chosenDays() const {
    QList<int> days;
    for (int gunId = 0; gunId < 7; ++gunId)
        if (cbGun[gunId]->isChecked())
            days << gunId;
    return days;
}

int TfrmTopluDegisiklik::bellCount(const QList<int> &days, int programme) {
    qsizetype count = 0;
    for (int gunId : days)
        count += m_store.dayBells(gunId, programme).size();
    return int(count);
}

int TfrmTopluDegisiklik::sourceProgramme() const {
    const QVariant id = cmbKaynakProgram->currentData();
    return id.isValid() ? id.toInt() : m_programme;
}

bool TfrmTopluDegisiklik::confirm(const QString &text) {
    return askYesNo(this, windowTitle(), text);
}

void TfrmTopluDegisiklik::finish(const QString &what) {
    lblDurum->setText(what);
    if (m_listeyiDoldur)
        m_listeyiDoldur();
}

void TfrmTopluDegisiklik::btnKaydirClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const QList<int> days = chosenDays();
    if (days.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen en az bir gün seçin!"));
        return;
    }
    const int seconds = txtDakika->value() * 60 + txtSaniye->value();
    if (seconds == 0) {
        showMessage(this, QStringLiteral("Kaç dakika ve saniye kaydırılacağını girin!"));
        return;
    }
    const bool back = cmbYon->currentIndex() == 1;
    try {
        m_store.shiftDays(days, back ? -seconds : seconds, m_programme);
    } catch (const ERefused &refused) {
        showMessage(this, refused.message());
        return;
    }
    finish(QStringLiteral("%1 günlerinin zilleri %2 dk %3 sn %4.")
               .arg(GunAdlariOf(days))
               .arg(txtDakika->value())
               .arg(txtSaniye->value())
               .arg(back ? QStringLiteral("geri alındı") : QStringLiteral("ileri alındı")));
}

void TfrmTopluDegisiklik::btnKopyalaClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const int from = cmbKaynak->currentIndex();
    const int fromProgramme = sourceProgramme();
    if (!programmeStillThere(m_store, m_programme, this))
        return;
    if (from == EachOwnDay) {
        copyEachOwnDay(fromProgramme);
        return;
    }
    QList<int> to = chosenDays();
    // From another programme, a day may be copied onto the same weekday.
    if (fromProgramme == m_programme)
        to.removeAll(from);
    if (to.isEmpty()) {
        showMessage(this, QStringLiteral("Kopyalanacak gün dışında en az bir gün seçin!"));
        return;
    }
    const int copied = bellCount({from}, fromProgramme);
    if (copied == 0) {
        showMessage(this,
                    QStringLiteral("%1 gününde kopyalanacak zil yok!").arg(GunAdlari().at(from)));
        return;
    }
    const bool replace = rbDegistir->isChecked();
    const int deleted = replace ? bellCount(to, m_programme) : 0;
    if (deleted > 0 &&
        !confirm(QStringLiteral("%1 gününün %2 zili %3 günlerine yazılacak; bu günlerdeki %4 zil "
                                "silinecek. Emin misiniz?")
                     .arg(GunAdlari().at(from))
                     .arg(copied)
                     .arg(GunAdlariOf(to))
                     .arg(deleted)))
        return;
    // Added beside a bell of the same second, one of the two would never be heard.
    if (!replace) {
        qsizetype clashes = 0;
        const QList<Bell> source = m_store.dayBells(from, fromProgramme);
        for (int gunId : std::as_const(to)) {
            QSet<QTime> taken;
            for (const Bell &bell : m_store.dayBells(gunId, m_programme))
                taken.insert(bell.startTime());
            clashes += std::count_if(source.begin(), source.end(), [&](const Bell &bell) {
                return taken.contains(bell.startTime());
            });
        }
        if (clashes > 0 &&
            !confirm(QStringLiteral("Eklenecek zillerden %1 tanesi var olan bir zille aynı "
                                    "saniyeye düşüyor: o saniyede yalnız biri çalar. Yine de "
                                    "eklensin mi?")
                         .arg(clashes)))
            return;
    }
    m_store.copyDay(from, to, replace, m_programme, fromProgramme);
    // A day of another programme is named with it, so the line cannot be read as this one's.
    const QString source = fromProgramme == m_programme
                               ? GunAdlari().at(from)
                               : QStringLiteral("%1 programının %2")
                                     .arg(cmbKaynakProgram->currentText(), GunAdlari().at(from));
    finish(QStringLiteral("%1 gününün %2 zili %3 günlerine kopyalandı.")
               .arg(source)
               .arg(copied)
               .arg(GunAdlariOf(to)));
}

void TfrmTopluDegisiklik::copyEachOwnDay(int fromProgramme) {
    if (fromProgramme == m_programme) {
        showMessage(this, QStringLiteral("Her gün kendi gününden ancak başka bir programdan "
                                         "kopyalanabilir: Program'da başka bir program seçin!"));
        return;
    }
    const QList<int> days = chosenDays();
    if (days.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen en az bir gün seçin!"));
        return;
    }
    QList<Bell> bells;
    qsizetype clashes = 0;
    for (int gunId : days) {
        QSet<QTime> taken;
        for (const Bell &bell : m_store.dayBells(gunId, m_programme))
            taken.insert(bell.startTime());
        for (Bell bell : m_store.dayBells(gunId, fromProgramme)) {
            clashes += taken.contains(bell.startTime());
            bell.id = 0;
            bell.programme = m_programme;
            bells.append(bell);
        }
    }
    const QString source = cmbKaynakProgram->currentText();
    if (bells.isEmpty()) {
        showMessage(
            this,
            QStringLiteral("%1 programının seçili günlerinde kopyalanacak zil yok!").arg(source));
        return;
    }
    const bool replace = rbDegistir->isChecked();
    const int deleted = replace ? bellCount(days, m_programme) : 0;
    if (deleted > 0 &&
        !confirm(QStringLiteral("%1 programının %2 zili %3 günlerine yazılacak; bu günlerdeki %4 "
                                "zil silinecek. Emin misiniz?")
                     .arg(source)
                     .arg(bells.size())
                     .arg(GunAdlariOf(days))
                     .arg(deleted)))
        return;
    // Added beside a bell of the same second, one of the two would never be heard.
    if (!replace && clashes > 0 &&
        !confirm(QStringLiteral("Eklenecek zillerden %1 tanesi var olan bir zille aynı saniyeye "
                                "düşüyor: o saniyede yalnız biri çalar. Yine de eklensin mi?")
                     .arg(clashes)))
        return;
    // One write either way: the week is copied whole or not at all.
    if (replace)
        m_store.replaceDays(days, bells, m_programme);
    else
        m_store.add(bells);
    finish(QStringLiteral("%1 programının %2 zili %3 günlerine kendi günlerinden kopyalandı.")
               .arg(source)
               .arg(bells.size())
               .arg(GunAdlariOf(days)));
}

void TfrmTopluDegisiklik::btnSilClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const QList<int> days = chosenDays();
    if (days.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen en az bir gün seçin!"));
        return;
    }
    const int count = bellCount(days, m_programme);
    if (count == 0) {
        showMessage(this, QStringLiteral("Seçili günlerde silinecek zil yok."));
        return;
    }
    if (!confirm(QStringLiteral("%1 günlerinin bütün zilleri, toplam %2 zil silinecek. Emin "
                                "misiniz?")
                     .arg(GunAdlariOf(days))
                     .arg(count)))
        return;
    const int removed = m_store.removeDays(days, m_programme);
    finish(QStringLiteral("%1 günlerinden %2 zil silindi.").arg(GunAdlariOf(days)).arg(removed));
}
