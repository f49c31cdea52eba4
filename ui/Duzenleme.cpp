#include "Duzenleme.h"
#include "ui_Duzenleme.h"

#include "RoleGate.h"

#include "AdvToolBtn.h"
#include "BellStore.h"
#include "Clock.h"
#include "DateTimeTyping.h"
#include "ErrorBox.h"
#include "MusicImport.h"
#include "ProgramSounds.h"
#include "ProgramValues.h"
#include "Programlar.h"
#include "Schedule.h"
#include "SharedSchedule.h"
#include "WindowLook.h"
#include "ZilError.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QShortcut>
#include <QTimeEdit>
#include <QValidator>

#include <algorithm>

#include <limits>

namespace {
constexpr int nameLimit = 50;
constexpr int lastWorkingDay = 4;
constexpr TColor buttonColorDown = 14210002;
constexpr TColor buttonColorHot = 13289415;

bool isWorkingDay(int gunId) {
    return gunId >= 0 && gunId <= lastWorkingDay;
}

// The name's length limit counts UTF-16 units, so a character outside the basic plane (an
// emoji) typed into the last free place would be cut in half; the half left over is dropped.
class WholeCharacters : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override {
        for (qsizetype i = 0; i < input.size(); ++i) {
            if (input.at(i).isHighSurrogate() && i + 1 < input.size() &&
                input.at(i + 1).isLowSurrogate()) {
                ++i;
                continue;
            }
            if (input.at(i).isSurrogate()) {
                input.remove(i, 1);
                if (pos > i)
                    --pos;
                --i;
            }
        }
        return Acceptable;
    }
};

// Tabs, line breaks and the like are invisible in the list and split its row.
bool hasControlCharacter(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line ||
               category == QChar::Separator_Paragraph;
    });
}

void prepareButton(TAdvToolButton *button, const QString &picture) {
    button->setColor(clBtnFace);
    button->setColorDown(buttonColorDown);
    button->setColorHot(buttonColorHot);
    button->setGlyph(QImage(QStringLiteral(":/buttons/%1.png").arg(picture)));
    button->setGlyphDisabled(QImage(QStringLiteral(":/buttons/%1_disabled.png").arg(picture)));
    button->AfterLoad();
}
} // namespace

TfrmDuzenleme::TfrmDuzenleme(BellStore &store, std::function<void()> listeyiDoldur, QWidget *parent)
    : QDialog(parent, toolWindowFlags)
    , ui(std::make_unique<Ui::TfrmDuzenleme>())
    , m_store(store)
    , m_listeyiDoldur(std::move(listeyiDoldur)) {
    ui->setupUi(this);
    setModal(false);
    move(490, 324);

    ui->cmbGunler->addItems(GunAdlari());
    ui->cmbGunler->setCurrentIndex(-1);
    ui->txtSure->setValue(30);
    ui->txtDers->setValidator(new WholeCharacters(ui->txtDers));
    makeTypable(ui->dtpBaslamaSaati);
    for (QLabel *label : {ui->lblGun, ui->Label1, ui->Label2, ui->Label4, ui->Label3, ui->Label5})
        label->adjustSize();
    // Our font is wider than the one the dialog was laid out for: the longest caption stays on
    // one line, and the duration field and its unit move right into the free room of their row
    // (a caption broken over two lines was hard to read). The check box takes the width its
    // text needs.
    const int overflow = ui->Label3->geometry().right() + 6 - ui->txtSure->x();
    if (overflow > 0)
        for (QWidget *after :
             {static_cast<QWidget *>(ui->txtSure), static_cast<QWidget *>(ui->Label5)})
            after->move(after->x() + overflow, after->y());
    ui->cbDigerlereUygula->adjustSize();
    cbYalnizBuBina = new QCheckBox(this);
    cbYalnizBuBina->setObjectName(QStringLiteral("cbYalnizBuBina"));
    cbYalnizBuBina->hide();
    prepareButton(ui->btnYeniKayit, QStringLiteral("kaydet"));
    prepareButton(ui->btnCikis, QStringLiteral("cikis"));

    ChooseMusicFile = [this] { return runMusicDialog(odMuzikDosyasi()); };

    // activated comes only from the user, never from the loading of the fields.
    connect(ui->cmbGunler, &QComboBox::activated, this, handled([this] { cmbGunlerChange(); }));
    connect(ui->btnDosyaAc, &QPushButton::clicked, this, handled([this] { btnDosyaAcClick(); }));
    offerProgramSounds(ui->btnProgramSesleri,
                       [this](const QString &name) { ui->txtMuzik->setText(name); });
    connect(ui->btnYeniKayit, &TAdvToolButton::OnClick, this,
            handled([this] { btnYeniKayitClick(); }));
    connect(ui->btnCikis, &TAdvToolButton::OnClick, this, handled([this] { btnCikisClick(); }));
    // Kaydet takes no focus, so the keyboard reaches it through its own key; Esc already closes.
    auto *save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(save, &QShortcut::activated, ui->btnYeniKayit, &TAdvToolButton::ExecuteClick);
}

TfrmDuzenleme::~TfrmDuzenleme() = default;

void TfrmDuzenleme::setGunIndex(int gunIndex) {
    ui->cmbGunler->setCurrentIndex(gunIndex);
}

void TfrmDuzenleme::ShowEditor() {
    try {
        FormShow();
    } catch (const EConvertError &) {
        // The other fields are loaded by then; the user can still set the time and save.
        showEditorWindow();
        throw;
    }
    showEditorWindow();
}

void TfrmDuzenleme::showEditorWindow() {
    bringToFront(*this);
}

void TfrmDuzenleme::FormShow() {
    if (m_editorKipi == YeniKayitKipi)
        loadForNewBell();
    else if (m_editorKipi == DuzenlemeKipi)
        loadBell();
}

void TfrmDuzenleme::loadForNewBell() {
    setWindowTitle(QStringLiteral("Yeni Kayıt"));
    ui->txtDers->setMaxLength(nameLimit);
    ui->txtDers->clear();
    ui->txtMuzik->clear();
    ui->cmbGunler->setCurrentIndex(BugunGunID());
    // The copy option follows the preselected day, so a working day's bell can always be kept
    // to that one day.
    followDayWithCopyOption();
    ui->cbDigerlereUygula->setVisible(true);
    const QTime now = programClock().now().time();
    ui->dtpBaslamaSaati->setTime(QTime(now.hour(), now.minute(), now.second()));
    showBuildingChoice(0);
}

void TfrmDuzenleme::showBuildingChoice(qint64 building) {
    QString name;
    m_building = SharedSchedule::savedBuilding(dataFolder(), &name);
    const bool shown = m_building != 0;
    cbYalnizBuBina->setText(QStringLiteral("Yalnızca bu binada çalsın (%1)").arg(name));
    cbYalnizBuBina->adjustSize();
    cbYalnizBuBina->setChecked(shown && building == m_building);
    const QWidget *above = ui->cbDigerlereUygula->isVisibleTo(this)
                               ? static_cast<QWidget *>(ui->cbDigerlereUygula)
                               : static_cast<QWidget *>(ui->txtSure);
    cbYalnizBuBina->move(ui->cbDigerlereUygula->x(), above->geometry().bottom() + 6);
    cbYalnizBuBina->setVisible(shown);
    // The buttons keep their distance below whatever box is last; the window grows by as much.
    constexpr int laidOutHeight = 269;
    constexpr int laidOutButtons = 212;
    const int grow =
        shown ? std::max(0, cbYalnizBuBina->geometry().bottom() + 8 - laidOutButtons) : 0;
    setFixedHeight(laidOutHeight + grow);
    for (QWidget *button :
         {static_cast<QWidget *>(ui->btnYeniKayit), static_cast<QWidget *>(ui->btnCikis)})
        button->move(button->x(), laidOutButtons + grow);
}

void TfrmDuzenleme::loadBell() {
    ui->cbDigerlereUygula->setVisible(false);
    setWindowTitle(QStringLiteral("Kayıt Düzenleme"));

    const std::optional<Bell> bell = m_store.bell(m_kayitId);
    if (!bell) {
        if (m_listeyiDoldur)
            m_listeyiDoldur();
        throw ZilError(QStringLiteral("Düzenlenecek zil bulunamadı, başka bir yerden silinmiş "
                                      "olabilir. Liste yenilendi."));
    }
    ui->cmbGunler->setCurrentIndex(bell->gunId);
    m_programme = bell->programme;
    // A longer name written by other means is shown and saved whole.
    ui->txtDers->setMaxLength(qMax(nameLimit, int(bell->name.size())));
    ui->txtDers->setText(bell->name);
    ui->txtMuzik->setText(bell->music);
    ui->txtSure->setText(bell->sure.toString());
    showBuildingChoice(bell->building);
    const QTime start = bell->startTime();
    if (!start.isValid())
        throw EConvertError(QStringLiteral("Başlama saati '%1' okunamadı: saati yeniden seçin")
                                .arg(bell->start.toString()));
    ui->dtpBaslamaSaati->setTime(start);
}

void TfrmDuzenleme::cmbGunlerChange() {
    followDayWithCopyOption();
}

void TfrmDuzenleme::followDayWithCopyOption() {
    const bool enabled = isWorkingDay(ui->cmbGunler->currentIndex());
    ui->cbDigerlereUygula->setEnabled(enabled);
    // A greyed box that still showed a tick would look like a choice the user cannot undo.
    if (!enabled)
        ui->cbDigerlereUygula->setChecked(false);
}

QFileDialog *TfrmDuzenleme::odMuzikDosyasi() {
    // Made at the first import: a file dialog and its file system model cost start-up time and
    // memory that most days never need.
    if (!m_odMuzikDosyasi)
        m_odMuzikDosyasi = makeMusicDialog(this);
    return m_odMuzikDosyasi;
}

void TfrmDuzenleme::btnDosyaAcClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const QString name = importMusic(ChooseMusicFile ? ChooseMusicFile() : QString());
    if (!name.isEmpty())
        ui->txtMuzik->setText(name);
}

int TfrmDuzenleme::durationForSave() {
    const QString text = ui->txtSure->text();
    bool ok = false;
    int duration = text.toInt(&ok);
    // The lowest int has no positive counterpart, so it cannot become a duration either.
    if (!ok || duration == std::numeric_limits<int>::min())
        throw EConvertError(
            QStringLiteral("Süre '%1' okunamadı: saniyeyi rakamla yazın").arg(text));
    if (duration < 1) {
        duration = -duration;
        ui->txtSure->setValue(duration);
    }
    return duration;
}

void TfrmDuzenleme::btnYeniKayitClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    // A name of blanks only shows as nothing in the list, so it counts as empty.
    if (ui->txtDers->text().trimmed().isEmpty() || ui->txtMuzik->text().isEmpty() ||
        ui->txtSure->text().isEmpty()) {
        showMessage(this, QStringLiteral("Ders veya Muzik alanları boş girilemez!"));
        return;
    }
    if (hasControlCharacter(ui->txtDers->text())) {
        showMessage(this, QStringLiteral("Ders adında sekme, satır sonu gibi görünmeyen denetim "
                                         "karakterleri olamaz!"));
        return;
    }
    const int duration = durationForSave();
    if (m_editorKipi == YeniKayitKipi && !programmeStillThere(m_store, m_programme, this))
        return;
    const int gunId = ui->cmbGunler->currentIndex();
    if (gunId < 0) {
        showMessage(this, QStringLiteral("Lütfen bir gün seçin!"));
        return;
    }
    // Deleted since it was chosen: made again before a bell names it.
    if (ProgramSounds::Sound sound; ProgramSounds::isProgramSound(ui->txtMuzik->text(), &sound))
        ProgramSounds::ensure(sound);
    const Bell bell{m_kayitId,
                    gunId,
                    ui->txtDers->text(),
                    StoredTimeForm(ui->dtpBaslamaSaati->time()),
                    ui->txtMuzik->text(),
                    duration,
                    m_programme,
                    {},
                    m_building != 0 && cbYalnizBuBina->isChecked() ? m_building : 0};

    bool rowGone = false;
    if (m_editorKipi == YeniKayitKipi) {
        QList<Bell> bells{bell};
        // Only a box the user can change copies: what it shows is what is saved.
        if (ui->cbDigerlereUygula->isEnabled() && ui->cbDigerlereUygula->isChecked()) {
            for (int day = 0; day <= lastWorkingDay; ++day) {
                if (day != gunId) {
                    bells.append(bell);
                    bells.last().gunId = day;
                }
            }
        }
        m_store.add(bells);
    } else if (m_editorKipi == DuzenlemeKipi) {
        rowGone = !m_store.update(bell);
    }
    if (rowGone) {
        // The edit has nowhere to go any more, so the editor is done with it as after a save.
        hide();
        if (m_listeyiDoldur)
            m_listeyiDoldur();
        throw ZilError(QStringLiteral("Düzenlediğiniz zil bu arada silinmiş, değişiklikler "
                                      "kaydedilemedi. Liste yenilendi."));
    }

    ui->txtDers->clear();
    ui->txtMuzik->clear();
    // Hidden first: should the refill fail, the saved bell is not offered for saving again.
    hide();
    if (m_listeyiDoldur)
        m_listeyiDoldur();
}

void TfrmDuzenleme::btnCikisClick() {
    hide();
}
