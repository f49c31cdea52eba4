#include "TekSeferlik.h"
#include "ui_TekSeferlik.h"

#include "RoleGate.h"

#include "Clock.h"
#include "DateTimeTyping.h"
#include "ErrorBox.h"
#include "MusicImport.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "WindowLook.h"

#include <QShortcut>

namespace {
// The record keeps whole seconds; a bell set in the past would never ring.
QDateTime wholeSecond(const QDateTime &t) {
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute(), t.time().second()));
}
} // namespace

TfrmTekSeferlik::TfrmTekSeferlik(BellStore &store, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::TfrmTekSeferlik>())
    , m_store(store) {
    setFont(programFont());
    ui->setupUi(this);
    makeTypable(ui->dtpZaman);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(ui->btnKapat, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnEkle, &QPushButton::clicked, this, handled([this] { btnEkleClick(); }));
    connect(ui->btnSil, &QPushButton::clicked, this, handled([this] { btnSilClick(); }));
    connect(ui->btnMuzik, &QPushButton::clicked, this, handled([this] {
                if (!allowedBy(m_gate, Action::ChangeSchedule, this))
                    return;
                const QString name = importMusic(runMusicDialog(makeMusicDialog(this)));
                if (!name.isEmpty())
                    ui->txtMuzik->setText(name);
            }));
    offerProgramSounds(ui->btnProgramSesleri,
                       [this](const QString &name) { ui->txtMuzik->setText(name); });
}

TfrmTekSeferlik::~TfrmTekSeferlik() = default;

void TfrmTekSeferlik::ShowOneOffs() {
    ui->dtpZaman->setDateTime(wholeSecond(programClock().now()).addSecs(3600));
    ui->lblDurum->clear();
    fill();
    if (!isVisible())
        adjustSize();
    bringToFront(*this);
}

void TfrmTekSeferlik::fill() {
    ui->lvZiller->clear();
    const QDate today = programClock().now().date();
    for (const Bell &bell : m_store.oneOffBells(today, today.addYears(5))) {
        auto *row = new QTreeWidgetItem(ui->lvZiller);
        row->setText(0, bell.date.toString(QStringLiteral("dd.MM.yyyy")));
        row->setText(1, StartTimeText(bell.start));
        row->setText(2, bell.name);
        row->setText(3, bell.music);
        row->setText(4, bell.duration() == 0 ? QStringLiteral("tamamı") : bell.sure.toString());
        row->setData(0, Qt::UserRole, bell.id);
    }
    for (int column = 0; column < ui->lvZiller->columnCount(); ++column)
        ui->lvZiller->resizeColumnToContents(column);
}

void TfrmTekSeferlik::btnEkleClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const QDateTime at = wholeSecond(ui->dtpZaman->dateTime());
    const QString name = ui->txtAd->text().trimmed();
    if (name.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen zilin adını yazın."));
        return;
    }
    if (ui->txtMuzik->text().isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen zilin müziğini seçin."));
        return;
    }
    if (at <= programClock().now()) {
        showMessage(this, QStringLiteral("Bu an geçti; zil çalmazdı. Lütfen ileri bir tarih ve "
                                         "saat seçin."));
        return;
    }
    Bell bell;
    bell.date = at.date();
    bell.gunId = at.date().dayOfWeek() - 1;
    bell.name = name;
    bell.start = StoredTimeForm(at.time());
    bell.music = ui->txtMuzik->text();
    bell.sure = ui->txtSure->value();
    m_store.add({bell});
    ui->lblDurum->setText(QStringLiteral("Eklendi: %1, %2.")
                              .arg(name, at.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))));
    fill();
}

void TfrmTekSeferlik::btnSilClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    const QList<QTreeWidgetItem *> selected = ui->lvZiller->selectedItems();
    if (selected.isEmpty()) {
        showMessage(this, QStringLiteral("Silmek için lütfen bir zil seçin."));
        return;
    }
    if (!askYesNo(this, windowTitle(),
                  QStringLiteral("\"%1\" silinsin mi?").arg(selected.first()->text(2))))
        return;
    m_store.remove(selected.first()->data(0, Qt::UserRole).toInt());
    fill();
}
