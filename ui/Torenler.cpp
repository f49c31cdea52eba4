#include "Torenler.h"
#include "ui_Torenler.h"

#include "RoleGate.h"

#include "ErrorBox.h"
#include "MusicImport.h"
#include "WindowLook.h"

#include <QFileDialog>
#include <QShortcut>

TfrmTorenler::TfrmTorenler(BellStore &store, Calendar &calendar, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::TfrmTorenler>())
    , m_store(store)
    , m_calendar(calendar) {
    setFont(programFont());
    ui->setupUi(this);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(ui->btnKapat, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnKaydet, &QPushButton::clicked, this, handled([this] { btnKaydetClick(); }));
    connect(ui->btnMarsi, &QPushButton::clicked, this, handled([this] {
                if (!allowedBy(m_gate, Action::ChangeSchedule, this))
                    return;
                const QString name = importMusic(runMusicDialog(makeMusicDialog(this)));
                if (!name.isEmpty())
                    ui->txtMarsi->setText(name);
                followRecording();
            }));
    connect(ui->btnMarsiKaldir, &QPushButton::clicked, this, [this] {
        ui->txtMarsi->clear();
        followRecording();
    });
    connect(ui->cbToren, &QCheckBox::toggled, this, [this] { followRecording(); });
}

TfrmTorenler::~TfrmTorenler() = default;

void TfrmTorenler::ShowCeremonies() {
    ui->txtMarsi->setText(m_calendar.istiklalMarsi());
    const Calendar::CeremonyRule rule = m_calendar.ceremony(Programme::Normal);
    ui->cbToren->setChecked(rule.on);
    ui->txtOnce->setValue(rule.beforeMinutes);
    ui->txtSonra->setValue(rule.afterMinutes);
    ui->cbSaygiDurusu->setChecked(m_calendar.isEnabled(QString::fromLatin1(Calendar::SaygiDurusu)));
    ui->lblDurum->clear();
    followRecording();
    // Its own size, rather than the default a new window gets before it is first shown.
    if (!isVisible())
        adjustSize();
    bringToFront(*this);
}

void TfrmTorenler::followRecording() {
    // The ceremony is the anthem itself: with no recording there is nothing to ring.
    const bool recording = !ui->txtMarsi->text().isEmpty();
    ui->cbToren->setEnabled(recording);
    if (!recording)
        ui->cbToren->setChecked(false);
    ui->txtOnce->setEnabled(ui->cbToren->isChecked());
    ui->txtSonra->setEnabled(ui->cbToren->isChecked());
    ui->lblMarsiNot->setText(
        recording ? QStringLiteral("Okulun kendi İstiklal Marşı kaydı; tören ve 10 Kasım bu "
                                   "kaydı çalar.")
                  : QStringLiteral("Tören için önce okulun İstiklal Marşı kaydını seçin; "
                                   "seçilmeden 10 Kasım'da yalnız siren çalar."));
}

void TfrmTorenler::btnKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    m_calendar.setIstiklalMarsi(ui->txtMarsi->text());
    const Calendar::CeremonyRule rule{ui->cbToren->isChecked(), ui->txtOnce->value(),
                                      ui->txtSonra->value()};
    // One rule for every programme: an exam week's days open and close like any other.
    for (const Programme &programme : m_store.programmes())
        m_calendar.setCeremony(programme.id, rule);
    m_calendar.setEnabled(QString::fromLatin1(Calendar::SaygiDurusu),
                          ui->cbSaygiDurusu->isChecked());
    ui->lblDurum->setText(QStringLiteral("Kaydedildi."));
}
