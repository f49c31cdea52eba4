#include "OkulTakvimi.h"
#include "ui_OkulTakvimi.h"

#include "RoleGate.h"

#include "Clock.h"
#include "DateTimeTyping.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "WindowLook.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>
#include <QTextCharFormat>

#include <algorithm>

namespace {
enum Column { ColBaslangic, ColBitis, ColTur, ColAd, ColDurum };
// What a list row stands for: a school entry (by id) or a known holiday (by key).
enum Role { RoleIsEntry = Qt::UserRole, RoleId, RoleKey, RoleHijriYear, RoleFrom, RoleEnabled };

const QString dateFormat = QStringLiteral("dd.MM.yyyy");
const QColor holidayColour(255, 190, 190);
const QColor halfDayColour(255, 225, 160);
const QColor makeUpColour(190, 230, 190);
const QColor silencedColour(205, 205, 205);
const QColor specialColour(190, 215, 250);
const QColor outsideColour(150, 150, 150);

// A corrected religious date further than this from the proposal is a typing mistake.
constexpr int MaxCorrectionDays = 2;

QString typeText(const CalendarEntry &e) {
    switch (e.type) {
    case CalendarEntry::Type::HalfDay:
        return QStringLiteral("Yarım gün (%1 sonra)").arg(timeFromText(e.time));
    case CalendarEntry::Type::MakeUp:
        return QStringLiteral("Telafi günü (%1)").arg(GunAdlari().value(e.gunId));
    case CalendarEntry::Type::Programme:
        return QStringLiteral("Özel program");
    case CalendarEntry::Type::Holiday:
        break;
    }
    return QStringLiteral("Tatil");
}

// With no school year saved, the fields offer the one under way or about to start: lessons
// begin in the second week of September and end in the last week of June.
Calendar::SchoolYear likelySchoolYear(const QDate &today) {
    const int startYear = today.month() >= 8 ? today.year() : today.year() - 1;
    QDate first(startYear, 9, 8);
    while (first.dayOfWeek() != Qt::Monday)
        first = first.addDays(1);
    QDate last(startYear + 1, 6, 30);
    while (last.dayOfWeek() != Qt::Friday)
        last = last.addDays(-1);
    return {first, last};
}
} // namespace

TfrmOkulTakvimi::TfrmOkulTakvimi(Calendar &calendar, BellStore *store, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::TfrmOkulTakvimi>())
    , m_calendar(calendar)
    , m_store(store) {
    setFont(programFont());
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmOkulTakvimi"));
    ui->cmbGun->addItems(GunAdlari());
    ui->calTakvim->setFirstDayOfWeek(Qt::Monday);
    ui->calTakvim->setLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
    for (QDateTimeEdit *field : findChildren<QDateTimeEdit *>())
        makeTypable(field);
    ui->lblRenkler->setText(
        QStringLiteral("<span style=\"background:%1\">&nbsp;tatil&nbsp;</span> "
                       "<span style=\"background:%2\">&nbsp;yarım gün&nbsp;</span> "
                       "<span style=\"background:%3\">&nbsp;telafi günü&nbsp;</span> "
                       "<span style=\"background:%4\">&nbsp;zil çalmasın&nbsp;</span><br>"
                       "<span style=\"background:%6\">&nbsp;özel program&nbsp;</span> "
                       "<span style=\"color:%5\">okul yılı dışı</span>")
            .arg(holidayColour.name(), halfDayColour.name(), makeUpColour.name(),
                 silencedColour.name(), outsideColour.name(), specialColour.name()));

    connect(ui->btnEkle, &QPushButton::clicked, this, handled([this] { btnEkleClick(); }));
    connect(ui->btnDuzenle, &QPushButton::clicked, this, handled([this] { btnDuzenleClick(); }));
    connect(ui->lvKayitlar, &QTreeWidget::itemDoubleClicked, this,
            handled([this] { btnDuzenleClick(); }));
    connect(ui->btnSil, &QPushButton::clicked, this, handled([this] { btnSilClick(); }));
    connect(ui->btnAcKapat, &QPushButton::clicked, this, handled([this] { btnAcKapatClick(); }));
    connect(ui->btnOnayla, &QPushButton::clicked, this, handled([this] { btnOnaylaClick(); }));
    connect(ui->btnKaydet, &QPushButton::clicked, this, handled([this] { btnKaydetClick(); }));
    connect(ui->btnOkulYiliKaydet, &QPushButton::clicked, this,
            handled([this] { btnOkulYiliKaydetClick(); }));
    connect(ui->btnKapat, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    // Only the commands that can apply to the selected row are offered.
    connect(ui->lvKayitlar, &QTreeWidget::itemSelectionChanged, this,
            [this] { followSelection(); });
    connect(ui->cbOkulYili, &QCheckBox::toggled, ui->dtpIlkGun, &QWidget::setEnabled);
    connect(ui->cbOkulYili, &QCheckBox::toggled, ui->dtpSonGun, &QWidget::setEnabled);
    connect(ui->cbBugunZilCalmasin, &QCheckBox::clicked, this,
            [this](bool checked) { runHandler([&] { cbBugunZilCalmasinClick(checked); }); });
    connect(ui->cmbTur, &QComboBox::currentIndexChanged, this, [this] { showTypeFields(); });
    connect(ui->calTakvim, &QCalendarWidget::currentPageChanged, this,
            handled([this] { refresh(); }));
    // A day picked in the calendar dates a new entry.
    connect(ui->calTakvim, &QCalendarWidget::clicked, this, [this](const QDate &date) {
        if (m_editId == 0 && !m_editReligious) {
            ui->dtpBaslangic->setDate(date);
            ui->dtpBitis->setDate(date);
        }
    });
    btnEkleClick();
    followSelection();
}

TfrmOkulTakvimi::~TfrmOkulTakvimi() = default;

void TfrmOkulTakvimi::followSelection() {
    const auto selected = ui->lvKayitlar->selectedItems();
    const QTreeWidgetItem *row = selected.isEmpty() ? nullptr : selected.first();
    const bool known = row && !row->data(0, RoleIsEntry).toBool();
    ui->btnAcKapat->setEnabled(known);
    ui->btnOnayla->setEnabled(known && row->data(0, RoleHijriYear).toInt() != 0);
    ui->btnSil->setEnabled(row && row->data(0, RoleIsEntry).toBool());
}

void TfrmOkulTakvimi::ShowCalendar() {
    const QDate today = programClock().now().date();
    ui->calTakvim->setSelectedDate(today);
    ui->calTakvim->setCurrentPage(today.year(), today.month());
    refresh();
    bringToFront(*this);
}

void TfrmOkulTakvimi::fillProgrammes() {
    QComboBox *choice = ui->cmbProgram;
    const QVariant kept = choice->currentData();
    choice->clear();
    if (!m_store)
        return;
    // Normal rings every other date already: only the school's own programmes are offered.
    for (const Programme &programme : m_store->programmes())
        if (programme.id != Programme::Normal)
            choice->addItem(programme.name, programme.id);
    choice->setCurrentIndex(qMax(kept.isValid() ? choice->findData(kept) : 0, 0));
}

void TfrmOkulTakvimi::refresh() {
    m_shownYear = ui->calTakvim->yearShown();
    fillProgrammes();
    const auto year = m_calendar.schoolYear();
    ui->cbOkulYili->setChecked(year.has_value());
    ui->dtpIlkGun->setEnabled(year.has_value());
    ui->dtpSonGun->setEnabled(year.has_value());
    if (year) {
        ui->dtpIlkGun->setDate(year->first);
        ui->dtpSonGun->setDate(year->last);
    } else if (ui->dtpIlkGun->date() <= ui->dtpIlkGun->minimumDate()) {
        const Calendar::SchoolYear likely = likelySchoolYear(programClock().now().date());
        ui->dtpIlkGun->setDate(likely.first);
        ui->dtpSonGun->setDate(likely.last);
    }
    ui->cbBugunZilCalmasin->setChecked(m_calendar.silencedToday());
    colourDays(m_shownYear);
    fillList(m_shownYear);
}

void TfrmOkulTakvimi::colourDays(int year) {
    QCalendarWidget *cal = ui->calTakvim;
    cal->setDateTextFormat(QDate(), QTextCharFormat());
    const QList<CalendarDay> days = m_calendar.daysOf(year);
    for (qsizetype i = 0; i < days.size(); ++i) {
        const QDate date = QDate(year, 1, 1).addDays(i);
        const CalendarDay &day = days[i];
        QTextCharFormat format;
        switch (day.kind) {
        case CalendarDay::Kind::Holiday:
            format.setBackground(holidayColour);
            break;
        case CalendarDay::Kind::HalfDay:
            format.setBackground(halfDayColour);
            break;
        case CalendarDay::Kind::MakeUp:
            format.setBackground(makeUpColour);
            break;
        case CalendarDay::Kind::Silenced:
            format.setBackground(silencedColour);
            break;
        case CalendarDay::Kind::OutsideYear:
            format.setForeground(outsideColour);
            break;
        case CalendarDay::Kind::Ordinary:
            // An ordinary day still differs when another programme rings it.
            if (day.programme == Programme::Normal)
                continue;
            format.setBackground(specialColour);
            break;
        }
        if (!day.name.isEmpty() || day.programme != Programme::Normal)
            format.setToolTip(day.line());
        cal->setDateTextFormat(date, format);
    }
}

void TfrmOkulTakvimi::fillList(int year) {
    ui->lblYil->setText(QStringLiteral("%1 yılının kayıtları ve resmi tatilleri").arg(year));
    struct Row {
        QDate from;
        QTreeWidgetItem *item;
    };
    QList<Row> rows;
    const auto add = [&](const QDate &from, const QDate &to, const QString &type,
                         const QString &name, const QString &state) {
        auto *item = new QTreeWidgetItem(
            {from.toString(dateFormat), to.toString(dateFormat), type, name, state});
        item->setToolTip(ColTur, type);
        item->setToolTip(ColAd, name);
        item->setToolTip(ColDurum, state);
        item->setData(0, RoleFrom, from);
        rows.append({from, item});
        return item;
    };
    for (const CalendarEntry &e : m_calendar.entries(year)) {
        QTreeWidgetItem *item = add(e.from, e.to, typeText(e), e.name, {});
        item->setData(0, RoleIsEntry, true);
        item->setData(0, RoleId, e.id);
    }
    for (const KnownHoliday &h : m_calendar.knownHolidays(year)) {
        // Said as what the bells do: "kapalı" reads as "the school is closed", the opposite.
        QString state =
            h.enabled ? QStringLiteral("Ziller çalmaz") : QStringLiteral("Ziller çalar");
        if (h.religious)
            state +=
                h.confirmed ? QStringLiteral(", onaylandı") : QStringLiteral(", öneri: onaylayın");
        QTreeWidgetItem *item =
            add(h.from, h.to,
                h.religious ? QStringLiteral("Dini bayram") : QStringLiteral("Resmi tatil"), h.name,
                state);
        if (h.eve.isValid())
            item->setToolTip(ColAd, QStringLiteral("%1; arifesi %2, 13:00'ten sonra zil çalmaz")
                                        .arg(h.name, h.eve.toString(dateFormat)));
        item->setData(0, RoleIsEntry, false);
        item->setData(0, RoleKey, h.key);
        item->setData(0, RoleHijriYear, h.hijriYear);
        item->setData(0, RoleEnabled, h.enabled);
        if (h.religious && !h.confirmed)
            item->setForeground(ColDurum, QColor(0xb0, 0, 0));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.from < b.from; });
    ui->lvKayitlar->clear();
    for (const Row &row : rows)
        ui->lvKayitlar->addTopLevelItem(row.item);
    // Names and kinds are read whole; the state takes what room is left.
    for (int column = ColBaslangic; column < ColDurum; ++column)
        ui->lvKayitlar->resizeColumnToContents(column);
    followSelection();
}

QTreeWidgetItem *TfrmOkulTakvimi::selectedRow() {
    const auto selected = ui->lvKayitlar->selectedItems();
    if (selected.isEmpty()) {
        showMessage(this, QStringLiteral("Lütfen listeden bir kayıt seçin."));
        return nullptr;
    }
    return selected.first();
}

void TfrmOkulTakvimi::showTypeFields() {
    const int type = ui->cmbTur->currentIndex();
    const bool religious = m_editReligious.has_value();
    ui->cmbTur->setEnabled(!religious);
    const bool special = type == int(CalendarEntry::Type::Programme);
    // A special programme's entry is named after its programme.
    ui->txtAd->setEnabled(!religious && type != int(CalendarEntry::Type::MakeUp) && !special);
    ui->dtpBitis->setEnabled(!religious && (type == int(CalendarEntry::Type::Holiday) || special));
    ui->cmbProgram->setEnabled(!religious && special);
    ui->tmSaat->setEnabled(!religious && type == int(CalendarEntry::Type::HalfDay));
    ui->cmbGun->setEnabled(!religious && type == int(CalendarEntry::Type::MakeUp));
}

void TfrmOkulTakvimi::btnEkleClick() {
    m_editId = 0;
    m_editReligious.reset();
    ui->txtAd->clear();
    const QDate day = ui->calTakvim->selectedDate();
    ui->dtpBaslangic->setDate(day);
    ui->dtpBitis->setDate(day);
    ui->lblKayitKipi->setText(QStringLiteral("Yeni kayıt"));
    showTypeFields();
}

void TfrmOkulTakvimi::btnDuzenleClick() {
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    if (row->data(0, RoleIsEntry).toBool()) {
        const int id = row->data(0, RoleId).toInt();
        const QList<CalendarEntry> entries = m_calendar.entries(m_shownYear);
        const auto e = std::find_if(entries.begin(), entries.end(),
                                    [id](const CalendarEntry &x) { return x.id == id; });
        if (e == entries.end())
            return;
        m_editId = id;
        m_editReligious.reset();
        ui->cmbTur->setCurrentIndex(int(e->type));
        ui->txtAd->setText(e->name);
        ui->dtpBaslangic->setDate(e->from);
        ui->dtpBitis->setDate(e->to);
        if (e->type == CalendarEntry::Type::HalfDay)
            ui->tmSaat->setTime(e->time);
        if (e->type == CalendarEntry::Type::MakeUp)
            ui->cmbGun->setCurrentIndex(e->gunId);
        if (e->type == CalendarEntry::Type::Programme)
            ui->cmbProgram->setCurrentIndex(ui->cmbProgram->findData(e->gunId));
        ui->lblKayitKipi->setText(QStringLiteral("Düzenleniyor: %1").arg(e->name));
        showTypeFields();
        return;
    }
    const int hijriYear = row->data(0, RoleHijriYear).toInt();
    if (hijriYear == 0) {
        showMessage(this, QStringLiteral("Resmi tatillerin tarihi değişmez; kapatmak için "
                                         "Aç / Kapat düğmesini kullanın."));
        return;
    }
    const QString key = row->data(0, RoleKey).toString();
    const QDate from = row->data(0, RoleFrom).toDate();
    QDate proposed = from;
    for (const Calendar::Proposal &p : Calendar::proposedReligious(from.year()))
        if (p.key == key && p.hijriYear == hijriYear)
            proposed = p.firstDay;
    m_editId = 0;
    m_editReligious = Religious{key, hijriYear, proposed};
    ui->txtAd->setText(row->text(ColAd));
    ui->dtpBaslangic->setDate(from);
    ui->dtpBitis->setDate(row->data(0, RoleFrom).toDate());
    ui->lblKayitKipi->setText(
        QStringLiteral("Bayramın ilk gününü yazıp Kaydet'e basın (önerilen: %1)")
            .arg(proposed.toString(dateFormat)));
    showTypeFields();
}

void TfrmOkulTakvimi::btnSilClick() {
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    if (!row->data(0, RoleIsEntry).toBool()) {
        showMessage(this, QStringLiteral("Resmi tatiller silinemez; kapatmak için Aç / Kapat "
                                         "düğmesini kullanın."));
        return;
    }
    const int id = row->data(0, RoleId).toInt();
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    if (!askYesNo(this, QStringLiteral("Okul Takvimi"),
                  QStringLiteral("\"%1\" kaydını silmek istediğinizden emin misiniz?")
                      .arg(row->text(ColAd)),
                  QStringLiteral("&Evet"), QStringLiteral("&Hayır")))
        return;
    m_calendar.remove(id);
    if (m_editId == id)
        btnEkleClick();
    refresh();
}

void TfrmOkulTakvimi::btnAcKapatClick() {
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    if (row->data(0, RoleIsEntry).toBool()) {
        showMessage(this, QStringLiteral("Aç / Kapat yalnız resmi tatiller ve dini bayramlar "
                                         "içindir; okulun kendi kaydını Sil ile kaldırın."));
        return;
    }
    const QString key = row->data(0, RoleKey).toString();
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    m_calendar.setEnabled(key, !row->data(0, RoleEnabled).toBool());
    refresh();
}

void TfrmOkulTakvimi::btnOnaylaClick() {
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    const int hijriYear = row->data(0, RoleHijriYear).toInt();
    if (row->data(0, RoleIsEntry).toBool() || hijriYear == 0) {
        showMessage(this, QStringLiteral("Yalnız dini bayramların tarihi onaylanır."));
        return;
    }
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    m_calendar.confirmReligious(row->data(0, RoleKey).toString(), hijriYear,
                                row->data(0, RoleFrom).toDate());
    refresh();
}

void TfrmOkulTakvimi::btnKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    if (m_editReligious) {
        const QDate first = ui->dtpBaslangic->date();
        if (qAbs(m_editReligious->proposed.daysTo(first)) > MaxCorrectionDays) {
            showMessage(this, QStringLiteral("Bayramın ilk günü önerilen tarihten (%1) en çok %2 "
                                             "gün farklı olabilir.")
                                  .arg(m_editReligious->proposed.toString(dateFormat))
                                  .arg(MaxCorrectionDays));
            return;
        }
        m_calendar.confirmReligious(m_editReligious->key, m_editReligious->hijriYear, first);
        btnEkleClick();
        refresh();
        return;
    }
    CalendarEntry entry;
    entry.id = m_editId;
    entry.type = CalendarEntry::Type(ui->cmbTur->currentIndex());
    if (entry.type == CalendarEntry::Type::Programme) {
        if (ui->cmbProgram->currentIndex() < 0) {
            showMessage(this, QStringLiteral("Özel program için önce ana penceredeki Ders "
                                             "Programı > Programlar… ile bir program ekleyin!"));
            return;
        }
        entry = CalendarEntry::special(ui->cmbProgram->currentText(),
                                       ui->cmbProgram->currentData().toInt(),
                                       ui->dtpBaslangic->date(), ui->dtpBitis->date());
        entry.id = m_editId;
    } else {
        // A make-up day's name field is greyed; what it still holds is not the entry's.
        entry.name = entry.type == CalendarEntry::Type::MakeUp ? QString() : ui->txtAd->text();
        entry.from = ui->dtpBaslangic->date();
        entry.to = entry.type == CalendarEntry::Type::Holiday ? ui->dtpBitis->date() : entry.from;
        entry.time = ui->tmSaat->time();
        entry.gunId = ui->cmbGun->currentIndex();
    }
    try {
        m_calendar.save(entry);
    } catch (const ERefused &refused) {
        showMessage(this, refused.message());
        return;
    }
    btnEkleClick();
    refresh();
}

void TfrmOkulTakvimi::btnOkulYiliKaydetClick() {
    if (!allowedBy(m_gate, Action::ChangeSchedule, this))
        return;
    std::optional<Calendar::SchoolYear> year;
    if (ui->cbOkulYili->isChecked())
        year = Calendar::SchoolYear{ui->dtpIlkGun->date(), ui->dtpSonGun->date()};
    try {
        m_calendar.setSchoolYear(year);
    } catch (const ERefused &refused) {
        showMessage(this, refused.message());
        return;
    }
    refresh();
    ui->lblDurum->setText(
        year ? QStringLiteral("Okul yılı kaydedildi: %1 – %2")
                   .arg(year->first.toString(dateFormat), year->last.toString(dateFormat))
             : QStringLiteral("Okul yılı kaydedildi: ziller bütün yıl çalar"));
}

void TfrmOkulTakvimi::cbBugunZilCalmasinClick(bool checked) {
    if (!allowedBy(m_gate, Action::SilenceToday, this)) {
        ui->cbBugunZilCalmasin->setChecked(!checked);
        return;
    }
    m_calendar.silenceToday(checked);
    refresh();
}
