#include "Programlar.h"
#include "ui_Programlar.h"

#include "RoleGate.h"

#include "BellStore.h"
#include "ErrorBox.h"
#include "WindowLook.h"

#include <QListWidget>
#include <QPushButton>
#include <algorithm>

bool programmeStillThere(BellStore &store, int programme, QWidget *window) {
    if (programme == Programme::Normal)
        return true;
    const QList<Programme> all = store.programmes();
    if (std::any_of(all.begin(), all.end(),
                    [programme](const Programme &each) { return each.id == programme; }))
        return true;
    showMessage(window, QStringLiteral("Bu program bu arada silinmiş, hiçbir şey kaydedilmedi. "
                                       "Ana pencerede programı yeniden seçin."));
    return false;
}

TfrmProgramlar::TfrmProgramlar(BellStore &store, QWidget *parent)
    : QDialog(parent, toolWindowFlags)
    , ui(std::make_unique<Ui::TfrmProgramlar>())
    , m_store(store) {
    ui->setupUi(this);
    // Enter in the name field must not add, rename or delete by itself.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    connect(ui->btnYeni, &QPushButton::clicked, this, handled([this] { btnYeniClick(); }));
    connect(ui->btnAdDegistir, &QPushButton::clicked, this,
            handled([this] { btnAdDegistirClick(); }));
    connect(ui->btnSil, &QPushButton::clicked, this, handled([this] { btnSilClick(); }));
    connect(ui->btnKapat, &QPushButton::clicked, this, &QDialog::hide);
    // The chosen programme's name is offered for renaming; Normal's name is fixed.
    connect(ui->lstProgramlar, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem *item) {
                const bool other = item && item->data(Qt::UserRole).toInt() != Programme::Normal;
                ui->btnAdDegistir->setEnabled(other);
                ui->btnSil->setEnabled(other);
                if (other)
                    ui->txtAd->setText(item->text());
            });
}

TfrmProgramlar::~TfrmProgramlar() = default;

void TfrmProgramlar::ShowProgrammes() {
    ListeyiDoldur();
    bringToFront(*this);
}

void TfrmProgramlar::ListeyiDoldur() {
    const int kept = ui->lstProgramlar->currentItem()
                         ? ui->lstProgramlar->currentItem()->data(Qt::UserRole).toInt()
                         : Programme::Normal;
    ui->lstProgramlar->clear();
    for (const Programme &programme : m_store.programmes()) {
        auto *item = new QListWidgetItem(programme.name, ui->lstProgramlar);
        item->setData(Qt::UserRole, programme.id);
    }
    select(kept);
}

void TfrmProgramlar::select(int id) {
    for (int row = 0; row < ui->lstProgramlar->count(); ++row) {
        if (ui->lstProgramlar->item(row)->data(Qt::UserRole).toInt() == id) {
            ui->lstProgramlar->setCurrentRow(row);
            return;
        }
    }
    ui->lstProgramlar->setCurrentRow(0);
}

int TfrmProgramlar::chosenOther(const QString &what) {
    const QListWidgetItem *item = ui->lstProgramlar->currentItem();
    if (!item) {
        showMessage(this, QStringLiteral("Lütfen bir program seçin!"));
        return -1;
    }
    const int id = item->data(Qt::UserRole).toInt();
    if (id == Programme::Normal) {
        showMessage(this, QStringLiteral("Normal programın %1.").arg(what));
        return -1;
    }
    return id;
}

void TfrmProgramlar::btnYeniClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    int id = 0;
    try {
        id = m_store.addProgramme(ui->txtAd->text());
    } catch (const ERefused &refused) {
        showMessage(this, refused.message());
        return;
    }
    ListeyiDoldur();
    select(id);
    emit programmesChanged();
}

void TfrmProgramlar::btnAdDegistirClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const int id = chosenOther(QStringLiteral("adı değiştirilemez"));
    if (id < 0)
        return;
    try {
        m_store.renameProgramme(id, ui->txtAd->text());
    } catch (const ERefused &refused) {
        showMessage(this, refused.message());
        return;
    }
    ListeyiDoldur();
    emit programmesChanged();
}

void TfrmProgramlar::btnSilClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const int id = chosenOther(QStringLiteral("silinemez"));
    if (id < 0)
        return;
    const QString name = ui->lstProgramlar->currentItem()->text();
    if (!askYesNo(this, windowTitle(),
                  QStringLiteral("\"%1\" programı bütün zilleriyle silinsin mi?").arg(name)))
        return;
    try {
        m_store.removeProgramme(id);
    } catch (const ERefused &refused) {
        showMessage(this, refused.message());
        return;
    }
    ui->txtAd->clear();
    ListeyiDoldur();
    emit programmesChanged();
}
