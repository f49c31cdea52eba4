#include "ZilGecmisi.h"
#include "ui_ZilGecmisi.h"

#include "Clock.h"
#include "DateTimeTyping.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "WindowLook.h"
#include "ZilError.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QShortcut>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTableWidget>

namespace {
constexpr int RangeDays = 7;
const QString dateFormat = QStringLiteral("dd.MM.yyyy");

constexpr BellOutcome outcomes[] = {
    BellOutcome::Rang,    BellOutcome::RangLate, BellOutcome::Failed,  BellOutcome::Replaced,
    BellOutcome::Skipped, BellOutcome::Missed,   BellOutcome::Warning, BellOutcome::Silenced,
};

// The bells that did not ring when they should have; the ones to find at a glance.
bool needsAttention(BellOutcome outcome) {
    return outcome == BellOutcome::Failed || outcome == BellOutcome::Missed;
}

QString csvField(const QString &text) {
    static const QRegularExpression quoted(QStringLiteral("[;\"\r\n]"));
    if (!text.contains(quoted))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}
} // namespace

TfrmZilGecmisi::TfrmZilGecmisi(BellStore &store, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmZilGecmisi>())
    , m_store(store) {
    // Before the form, so its layouts are sized for the program's font.
    setFont(programFont());
    ui->setupUi(this);

    for (QDateEdit *edit : {ui->dtpBaslangic, ui->dtpBitis})
        makeTypable(edit);
    ui->cmbSonuc->addItem(QStringLiteral("Tümü"), -1);
    for (BellOutcome outcome : outcomes)
        ui->cmbSonuc->addItem(outcomeName(outcome), int(outcome));

    m_warning = ui->lblDurum->palette();
    m_warning.setColor(QPalette::WindowText, QColor(0xb0, 0, 0));
    ui->lblDurum->setPalette(m_warning);

    setDefaultRange();
    ChooseCsvFile = [this] { return runSaveDialog(); };

    // The form turns keyboard tracking off: a date typed digit by digit passes through other
    // dates, and only the finished one reads.
    connect(ui->dtpBaslangic, &QDateEdit::dateChanged, this, handled([this] { btnYenileClick(); }));
    connect(ui->dtpBitis, &QDateEdit::dateChanged, this, handled([this] { btnYenileClick(); }));
    // The outcome only filters what was read; the store is not asked again.
    connect(ui->cmbSonuc, &QComboBox::currentIndexChanged, this, handled([this] { fillTable(); }));
    connect(ui->btnYenile, &QPushButton::clicked, this, handled([this] { btnYenileClick(); }));
    connect(ui->btnCsvKaydet, &QPushButton::clicked, this,
            handled([this] { btnCsvKaydetClick(); }));
    connect(ui->btnKapat, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

TfrmZilGecmisi::~TfrmZilGecmisi() = default;

QDateEdit *TfrmZilGecmisi::dtpBaslangic() const {
    return ui->dtpBaslangic;
}
QDateEdit *TfrmZilGecmisi::dtpBitis() const {
    return ui->dtpBitis;
}
QComboBox *TfrmZilGecmisi::cmbSonuc() const {
    return ui->cmbSonuc;
}
QTableWidget *TfrmZilGecmisi::lvGecmis() const {
    return ui->lvGecmis;
}
QLabel *TfrmZilGecmisi::lblDurum() const {
    return ui->lblDurum;
}
QPushButton *TfrmZilGecmisi::btnYenile() const {
    return ui->btnYenile;
}
QPushButton *TfrmZilGecmisi::btnCsvKaydet() const {
    return ui->btnCsvKaydet;
}

void TfrmZilGecmisi::setDefaultRange() {
    const QDate today = programClock().now().date();
    m_defaultFrom = today.addDays(-(RangeDays - 1));
    m_defaultTo = today;
    const QSignalBlocker blockStart(ui->dtpBaslangic);
    const QSignalBlocker blockEnd(ui->dtpBitis);
    ui->dtpBaslangic->setDate(m_defaultFrom);
    ui->dtpBitis->setDate(m_defaultTo);
}

void TfrmZilGecmisi::ShowHistory() {
    const bool wasOpen = isVisible();
    bringToFront(*this);
    // Opening reads in showEvent; an open window is read here.
    if (wasOpen)
        btnYenileClick();
}

void TfrmZilGecmisi::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    runHandler([this] {
        // Opened on another day, an untouched range shows the last days up to that day.
        if (ui->dtpBaslangic->date() == m_defaultFrom && ui->dtpBitis->date() == m_defaultTo)
            setDefaultRange();
        btnYenileClick();
    });
}

void TfrmZilGecmisi::btnYenileClick() {
    const QDate from = ui->dtpBaslangic->date();
    const QDate to = ui->dtpBitis->date();
    if (to < from) {
        ui->lblDurum->setPalette(m_warning);
        ui->lblDurum->setText(QStringLiteral("Bitiş tarihi başlangıç tarihinden önce olamaz. "
                                             "Tarihleri düzeltip yeniden deneyin."));
        return;
    }
    ui->lblDurum->clear();
    ui->lblDurum->setPalette(m_warning);
    m_events = m_store.history(from, to);
    fillTable();
}

void TfrmZilGecmisi::fillTable() {
    const int wanted = ui->cmbSonuc->currentData().toInt();
    ui->lvGecmis->setRowCount(0);
    for (const BellEvent &e : std::as_const(m_events)) {
        if (wanted >= 0 && int(e.outcome) != wanted)
            continue;
        QString sonuc = outcomeName(e.outcome);
        if (e.fallbackTone)
            sonuc += QStringLiteral(" (yedek ses)");
        const QString texts[] = {e.date.toString(dateFormat), e.start, e.name, e.music, sonuc,
                                 QString::number(e.delayMs),  e.reason};
        const int row = ui->lvGecmis->rowCount();
        ui->lvGecmis->insertRow(row);
        for (int column = ColTarih; column <= ColAciklama; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            // The explanation is often longer than its column.
            if (column == ColAciklama || column == ColZil || column == ColMuzik)
                item->setToolTip(texts[column]);
            if (column == ColGecikme)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (needsAttention(e.outcome)) {
                item->setBackground(QColor(0xff, 0xd8, 0xd8));
                QFont bold = ui->lvGecmis->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            ui->lvGecmis->setItem(row, column, item);
        }
    }
    // The explanation takes the room the others leave.
    for (int column = ColTarih; column < ColAciklama; ++column)
        ui->lvGecmis->resizeColumnToContents(column);
}

QString TfrmZilGecmisi::csvText() const {
    QStringList lines;
    QStringList fields;
    for (int column = ColTarih; column <= ColAciklama; ++column)
        fields << csvField(ui->lvGecmis->horizontalHeaderItem(column)->text());
    lines << fields.join(QLatin1Char(';'));
    for (int row = 0; row < ui->lvGecmis->rowCount(); ++row) {
        fields.clear();
        for (int column = ColTarih; column <= ColAciklama; ++column)
            fields << csvField(ui->lvGecmis->item(row, column)->text());
        lines << fields.join(QLatin1Char(';'));
    }
    // Line ends as spreadsheet programs write CSV themselves.
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QString TfrmZilGecmisi::runSaveDialog() {
    // Qt's own dialog, as the editor's, so it looks and behaves the same on every desktop.
    // Offered in the user's own documents, not beside the program.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    return QFileDialog::getSaveFileName(this, QStringLiteral("CSV olarak kaydet"),
                                        QDir(folder).filePath(QStringLiteral("zil_gecmisi.csv")),
                                        QStringLiteral("CSV dosyası (*.csv)"), nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

void TfrmZilGecmisi::btnCsvKaydetClick() {
    const QString path = ChooseCsvFile ? ChooseCsvFile() : QString();
    if (path.isEmpty())
        return;
    // Written aside and put in place at the end, so a failed save leaves an older file whole.
    QSaveFile file(path);
    // The byte-order mark tells spreadsheet programs that the text is UTF-8, so Turkish
    // letters are not read in the machine's old code page.
    const QByteArray bytes = QByteArrayLiteral("\xEF\xBB\xBF") + csvText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0 || !file.commit())
        throw ZilError(QStringLiteral("Zil geçmişi '%1' dosyasına kaydedilemedi: %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
    ui->lblDurum->setPalette(palette());
    ui->lblDurum->setText(QStringLiteral("%1 satır kaydedildi: %2")
                              .arg(ui->lvGecmis->rowCount())
                              .arg(QDir::toNativeSeparators(path)));
}
