#include "ZilGecmisi.h"

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
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QShortcut>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int WindowWidth = 760;
constexpr int WindowHeight = 440;
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
    , m_store(store)
    , m_baslangic(new QDateEdit(this))
    , m_bitis(new QDateEdit(this))
    , m_sonuc(new QComboBox(this))
    , m_yenile(new QPushButton(QStringLiteral("Yenile"), this))
    , m_table(new QTableWidget(this))
    , m_durum(new QLabel(this))
    , m_csvKaydet(new QPushButton(QStringLiteral("CSV olarak kaydet"), this)) {
    setObjectName(QStringLiteral("frmZilGecmisi"));
    setWindowTitle(QStringLiteral("Zil Geçmişi"));
    setFont(programFont());
    resize(WindowWidth, WindowHeight);

    for (QDateEdit *edit : {m_baslangic, m_bitis}) {
        edit->setDisplayFormat(dateFormat);
        edit->setCalendarPopup(true);
        // A date typed digit by digit passes through other dates; only the finished one reads.
        edit->setKeyboardTracking(false);
        makeTypable(edit);
    }
    m_sonuc->addItem(QStringLiteral("Tümü"), -1);
    for (BellOutcome outcome : outcomes)
        m_sonuc->addItem(outcomeName(outcome), int(outcome));

    m_table->setColumnCount(ColAciklama + 1);
    m_table->setHorizontalHeaderLabels(
        {"Tarih", "Saat", "Zil", "Müzik", "Sonuç", "Gecikme (ms)", "Açıklama"});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);

    m_warning = m_durum->palette();
    m_warning.setColor(QPalette::WindowText, QColor(0xb0, 0, 0));
    m_durum->setPalette(m_warning);

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Başlangıç"), this));
    filters->addWidget(m_baslangic);
    filters->addSpacing(8);
    filters->addWidget(new QLabel(QStringLiteral("Bitiş"), this));
    filters->addWidget(m_bitis);
    filters->addSpacing(8);
    filters->addWidget(new QLabel(QStringLiteral("Sonuç"), this));
    filters->addWidget(m_sonuc);
    filters->addStretch();
    filters->addWidget(m_yenile);
    auto *kapat = new QPushButton(QStringLiteral("Kapat"), this);
    kapat->setObjectName(QStringLiteral("btnKapat"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_durum, 1);
    bottom->addWidget(m_csvKaydet);
    bottom->addWidget(kapat);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);

    setDefaultRange();
    ChooseCsvFile = [this] { return runSaveDialog(); };

    connect(m_baslangic, &QDateEdit::dateChanged, this, handled([this] { btnYenileClick(); }));
    connect(m_bitis, &QDateEdit::dateChanged, this, handled([this] { btnYenileClick(); }));
    // The outcome only filters what was read; the store is not asked again.
    connect(m_sonuc, &QComboBox::currentIndexChanged, this, handled([this] { fillTable(); }));
    connect(m_yenile, &QPushButton::clicked, this, handled([this] { btnYenileClick(); }));
    connect(m_csvKaydet, &QPushButton::clicked, this, handled([this] { btnCsvKaydetClick(); }));
    connect(kapat, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

TfrmZilGecmisi::~TfrmZilGecmisi() = default;

void TfrmZilGecmisi::setDefaultRange() {
    const QDate today = programClock().now().date();
    m_defaultFrom = today.addDays(-(RangeDays - 1));
    m_defaultTo = today;
    const QSignalBlocker blockStart(m_baslangic);
    const QSignalBlocker blockEnd(m_bitis);
    m_baslangic->setDate(m_defaultFrom);
    m_bitis->setDate(m_defaultTo);
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
        if (m_baslangic->date() == m_defaultFrom && m_bitis->date() == m_defaultTo)
            setDefaultRange();
        btnYenileClick();
    });
}

void TfrmZilGecmisi::btnYenileClick() {
    const QDate from = m_baslangic->date();
    const QDate to = m_bitis->date();
    if (to < from) {
        m_durum->setPalette(m_warning);
        m_durum->setText(QStringLiteral("Bitiş tarihi başlangıç tarihinden önce olamaz. "
                                        "Tarihleri düzeltip yeniden deneyin."));
        return;
    }
    m_durum->clear();
    m_durum->setPalette(m_warning);
    m_events = m_store.history(from, to);
    fillTable();
}

void TfrmZilGecmisi::fillTable() {
    const int wanted = m_sonuc->currentData().toInt();
    m_table->setRowCount(0);
    for (const BellEvent &e : std::as_const(m_events)) {
        if (wanted >= 0 && int(e.outcome) != wanted)
            continue;
        QString sonuc = outcomeName(e.outcome);
        if (e.fallbackTone)
            sonuc += QStringLiteral(" (yedek ses)");
        const QString texts[] = {e.date.toString(dateFormat), e.start, e.name, e.music, sonuc,
                                 QString::number(e.delayMs),  e.reason};
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        for (int column = ColTarih; column <= ColAciklama; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            // The explanation is often longer than its column.
            if (column == ColAciklama || column == ColZil || column == ColMuzik)
                item->setToolTip(texts[column]);
            if (column == ColGecikme)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (needsAttention(e.outcome)) {
                item->setBackground(QColor(0xff, 0xd8, 0xd8));
                QFont bold = m_table->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            m_table->setItem(row, column, item);
        }
    }
    // The explanation takes the room the others leave.
    for (int column = ColTarih; column < ColAciklama; ++column)
        m_table->resizeColumnToContents(column);
}

QString TfrmZilGecmisi::csvText() const {
    QStringList lines;
    QStringList fields;
    for (int column = ColTarih; column <= ColAciklama; ++column)
        fields << csvField(m_table->horizontalHeaderItem(column)->text());
    lines << fields.join(QLatin1Char(';'));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        fields.clear();
        for (int column = ColTarih; column <= ColAciklama; ++column)
            fields << csvField(m_table->item(row, column)->text());
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
    m_durum->setPalette(palette());
    m_durum->setText(QStringLiteral("%1 satır kaydedildi: %2")
                         .arg(m_table->rowCount())
                         .arg(QDir::toNativeSeparators(path)));
}
