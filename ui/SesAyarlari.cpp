#include "SesAyarlari.h"

#include "AnaSayfa.h"
#include "ErrorBox.h"
#include "PipelineWorker.h"
#include "RoleGate.h"
#include "ZilError.h"
#include "ui_AnaSayfa.h"
#include "ui_SesAyarlari.h"

#include <QTimer>

#include <mutex>
#include <optional>

// What the listing thread hands back; the window looks at it with a timer, so the thread never
// touches the window, which may be gone by the time the sound server answers.
struct TfrmSesAyarlari::Listing {
    std::mutex mutex;
    std::optional<QList<SoundOutput>> outputs;
};

namespace {
QString defaultOutput() {
    return QStringLiteral("Varsayılan çıkış");
}
} // namespace

TfrmSesAyarlari::TfrmSesAyarlari(SoundSettings &settings, OutputList listOutputs, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::SesAyarlari>())
    , m_settings(settings)
    , m_listing(std::make_shared<Listing>())
    , m_worker(std::make_unique<PipelineWorker>()) {
    ui->setupUi(this);
    const std::array pairs{
        std::pair{ui->sldAna, ui->spnAna},     std::pair{ui->sldZil, ui->spnZil},
        std::pair{ui->sldAnons, ui->spnAnons}, std::pair{ui->sldMuzik, ui->spnMuzik},
        std::pair{ui->sldAlarm, ui->spnAlarm}, std::pair{ui->sldTavan, ui->spnTavan}};
    for (const auto &[slider, spin] : pairs) {
        connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
        connect(spin, &QSpinBox::valueChanged, this, &TfrmSesAyarlari::showEffective);
    }
    connect(ui->btnKaydet, &QPushButton::clicked, this, handled([this] { btnKaydetClick(); }));
    connect(ui->btnVazgec, &QPushButton::clicked, this, &QDialog::reject);
    ui->lblCikisDurum->setText(QStringLiteral("Ses çıkışları aranıyor…"));

    m_worker->post([listing = m_listing, list = std::move(listOutputs)] {
        QList<SoundOutput> found = list ? list() : QList<SoundOutput>();
        std::lock_guard lock(listing->mutex);
        listing->outputs = std::move(found);
    });
    m_worker->finish(0);
    m_poll = new QTimer(this);
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, [this] {
        std::optional<QList<SoundOutput>> found;
        {
            std::lock_guard lock(m_listing->mutex);
            found = m_listing->outputs;
        }
        if (!found)
            return;
        m_poll->stop();
        m_outputs = *found;
        m_listed = true;
        const SoundSettings::Values shown = values();
        fillOutputs();
        for (int k = 0; k < SoundSettings::KindCount; ++k) {
            QComboBox *combo = outputCombo(k);
            combo->setCurrentIndex(std::max(combo->findData(shown.output[size_t(k)]), 0));
        }
    });
    m_poll->start();
    fillOutputs();
}

TfrmSesAyarlari::~TfrmSesAyarlari() = default;

QComboBox *TfrmSesAyarlari::outputCombo(int kind) const {
    const std::array combos{ui->cmbCikisZil, ui->cmbCikisAnons, ui->cmbCikisMuzik,
                            ui->cmbCikisAlarm};
    return combos[size_t(kind)];
}

void TfrmSesAyarlari::fillOutputs() {
    for (int k = 0; k < SoundSettings::KindCount; ++k) {
        QComboBox *combo = outputCombo(k);
        combo->clear();
        combo->addItem(defaultOutput(), QString());
        for (const SoundOutput &output : std::as_const(m_outputs)) {
            combo->addItem(output.description, output.name);
            combo->setItemData(combo->count() - 1, output.name, Qt::ToolTipRole);
        }
        // A chosen output that is not there now stays chosen: it may be plugged in again, and
        // until then its sounds play through the default one.
        const QString chosen = m_loaded.output[size_t(k)];
        if (!chosen.isEmpty() && combo->findData(chosen) < 0)
            combo->addItem(QStringLiteral("%1 (şu an bulunamadı)").arg(chosen), chosen);
    }
    if (m_listed)
        ui->lblCikisDurum->setText(
            m_outputs.isEmpty()
                ? QStringLiteral("Ses sunucusunda seçilebilir bir çıkış bulunamadı;\nsesler "
                                 "varsayılan çıkıştan çalar.")
                : QStringLiteral("%1 ses çıkışı bulundu.").arg(m_outputs.size()));
}

void TfrmSesAyarlari::load() {
    m_loaded = m_settings.read();
    ui->spnAna->setValue(m_loaded.master);
    ui->spnZil->setValue(m_loaded.kind[0]);
    ui->spnAnons->setValue(m_loaded.kind[1]);
    ui->spnMuzik->setValue(m_loaded.kind[2]);
    ui->spnAlarm->setValue(m_loaded.kind[3]);
    ui->spnTavan->setValue(m_loaded.ceiling);
    fillOutputs();
    for (int k = 0; k < SoundSettings::KindCount; ++k) {
        QComboBox *combo = outputCombo(k);
        combo->setCurrentIndex(std::max(combo->findData(m_loaded.output[size_t(k)]), 0));
    }
    showEffective();
}

SoundSettings::Values TfrmSesAyarlari::values() const {
    SoundSettings::Values v;
    v.master = ui->spnAna->value();
    v.kind = {ui->spnZil->value(), ui->spnAnons->value(), ui->spnMuzik->value(),
              ui->spnAlarm->value()};
    v.ceiling = ui->spnTavan->value();
    for (int k = 0; k < SoundSettings::KindCount; ++k)
        v.output[size_t(k)] = outputCombo(k)->currentData().toString();
    return v;
}

void TfrmSesAyarlari::showEffective() {
    const SoundSettings::Values v = values();
    const auto percent = [&v](SoundSettings::Kind k) { return qRound(v.effective(k) * 100); };
    QString text = QStringLiteral("Çalınacak düzeyler: zil %%1, anons %%2, müzik %%3, alarm %%4.")
                       .arg(percent(SoundSettings::Kind::Bell))
                       .arg(percent(SoundSettings::Kind::Announcement))
                       .arg(percent(SoundSettings::Kind::Music))
                       .arg(percent(SoundSettings::Kind::Alarm));
    if (percent(SoundSettings::Kind::Bell) == 0 || percent(SoundSettings::Kind::Alarm) == 0)
        text += QStringLiteral(" Dikkat: %0 düzeydeki zil ya da alarm duyulmaz.");
    ui->lblEtkin->setText(text);
}

void TfrmSesAyarlari::btnKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSettings, this))
        return;
    const SoundSettings::Values v = values();
    // Refused or failed: the window stays open with what was typed, so nothing is lost.
    m_settings.write(v);
    m_loaded = v;
    accept();
}

QAction *addSoundSettingsCommand(TfrmMenu &menu, SoundSettings &settings,
                                 TfrmSesAyarlari::OutputList listOutputs) {
    QAction *command = menu.controls().Ayarlar1->addAction(QStringLiteral("&Ses ayarları…"));
    command->setObjectName(QStringLiteral("SesAyarlari1"));
    QObject::connect(command, &QAction::triggered, &menu,
                     menu.gated(Action::ChangeSettings, [&menu, &settings, listOutputs] {
                         auto *window = new TfrmSesAyarlari(settings, listOutputs, &menu);
                         window->setAttribute(Qt::WA_DeleteOnClose);
                         window->setGate(&menu.gate());
                         try {
                             window->load();
                         } catch (...) {
                             delete window;
                             throw;
                         }
                         window->open();
                     }));
    return command;
}
