#include "AnaSayfa.h"
#include "ui_AnaSayfa.h"

#include "Clock.h"
#include "ErrorBox.h"
#include "MediaPlayerDevice.h"
#include "ProgramValues.h"
#include "Programlar.h"
#include "Schedule.h"
#include "SysColors.h"
#include "TelefonAyarlari.h"
#include "WebPanel.h"
#include "WebSite.h"
#include "WindowLook.h"
#include "Yedekleme.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLibrary>
#include <QNetworkInterface>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace {
// The list's columns; the ID column is present but never shown.
enum Column { ColGun, ColZil, ColBaslama, ColID, ColSure };

constexpr int ClientWidth = 404;
constexpr int ClientHeight = 510;
constexpr int WebPanelHeight = 90;
constexpr int SureWidth = 45;
// A page that failed is tried again this much later, unseen.
constexpr int WebRetryMs = 10 * 60 * 1000;

// Rows sort by what their cells mean: a start as a time of day, a duration as a number. The
// value to sort by is kept in the cell's user role; cells without one sort by their text.
class BellRow : public QTreeWidgetItem {
public:
    bool operator<(const QTreeWidgetItem &other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : ColBaslama;
        const QVariant mine = data(column, Qt::UserRole);
        const QVariant theirs = other.data(column, Qt::UserRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toInt() < theirs.toInt();
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};
} // namespace

TfrmMenu::TfrmMenu(BellStore &store, DayPlan &plan, MediaPlayerDevice &player,
                   std::function<bool()> online, const QString &webSite, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmMenu>())
    , m_store(store)
    , m_plan(plan)
    , m_webRetry(new QTimer(this)) {
    m_webRetry->setSingleShot(true);
    m_webRetry->setInterval(WebRetryMs);
    connect(m_webRetry, &QTimer::timeout, this, [this] {
        if (m_webBrowser)
            m_webBrowser->setProperty("url", m_webPage);
    });
    setFont(programFont());
    ui->setupUi(this);
    m_programTitle = windowTitle();
    setAttribute(Qt::WA_QuitOnClose);

    QFont bold13 = font();
    bold13.setBold(true);
    bold13.setPixelSize(13);
    ui->Label1->setFont(bold13);
    QFont plain13 = font();
    plain13.setPixelSize(13);
    ui->Label2->setFont(plain13);
    ui->Label3->setFont(plain13);
    QFont bold12 = font();
    bold12.setBold(true);
    bold12.setPixelSize(12);
    ui->lblSaat->setFont(bold12);
    ui->Saat->setFont(bold12);
    // Our font is wider than the one the window was laid out for: labels take the room their
    // text needs, and the clock starts right after its caption.
    ui->Label1->adjustSize();
    ui->lblSaat->adjustSize();
    ui->Label2->adjustSize();
    ui->Label3->adjustSize();
    // Both choices start after the wider of their captions, so they line up.
    const int choices =
        qMax(ui->cmbGunler->x(),
             qMax(ui->Label2->geometry().right(), ui->Label3->geometry().right()) + 4);
    for (QComboBox *choice : {ui->cmbGunler, ui->cmbProgram})
        choice->setGeometry(choice->geometry().adjusted(choices - choice->x(), 0, 0, 0));
    ui->Saat->move(qMax(ui->Saat->x(), ui->lblSaat->geometry().right() + 4), ui->Saat->y());
    // The clock is repainted every second; a label that fills its own background spares the
    // window beneath it from being painted again each time.
    ui->Saat->setAutoFillBackground(true);

    ui->imgLogo->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    ui->mpPlayer->setDevice(player);
    ui->mpPlayer->setVisibleButtons(ButtonBit(btPlay) | ButtonBit(btPause) | ButtonBit(btStop));
    ui->mpPlayer->setGeometry(304, 128, 85, 20);

    auto *header = ui->ListView1->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    ui->ListView1->setColumnWidth(ColBaslama, 90);
    ui->ListView1->setColumnWidth(ColSure, SureWidth);
    ui->ListView1->setColumnHidden(ColID, false);
    header->setMinimumSectionSize(0);
    ui->ListView1->setColumnWidth(ColID, 0);
    // Staff read a day in time order; a click on a header sorts by that column instead.
    ui->ListView1->sortByColumn(ColBaslama, Qt::AscendingOrder);
    ui->ListView1->setSortingEnabled(true);
    // The columns are laid out for their captions alone; an arrow would cut them.
    header->setSortIndicatorShown(false);
    // F10 opens the menus, as on other desktops.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { ui->MainMenu1->setActiveAction(ui->Dosya1->menuAction()); });
    // Enter edits and Delete deletes the selected bell, as the buttons do.
    ui->ListView1->installEventFilter(this);
    QCoreApplication::instance()->installEventFilter(this);
    ui->Duzenle1->setText(ui->Duzenle1->text() + QStringLiteral("\tEnter"));
    ui->Sil1->setText(ui->Sil1->text() + QStringLiteral("\tDel"));
    ui->lblHizmet->setToolTip(
        QStringLiteral("Ziller arka plandaki hizmet tarafından çalınıyor; bu pencere yalnız "
                       "programı gösteriyor"));
    ui->lblHizmet->adjustSize();

    setUpButtons();

    connect(ui->cmbGunler, &QComboBox::activated, this, handled([this] { cmbGunlerChange(); }));
    connect(ui->cmbProgram, &QComboBox::activated, this, handled([this] { ListeyiDoldur(); }));
    connect(ui->Programlar1, &QAction::triggered, this, handled([this] { showProgrammes(); }));
    connect(ui->ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { runHandler([&] { ListView1DblClick(item); }); });
    // The menu runs the buttons' commands without touching their faces.
    connect(ui->YeniKayit1, &QAction::triggered, ui->btnYeniKayit, &TAdvToolButton::ExecuteClick);
    connect(ui->Duzenle1, &QAction::triggered, ui->btnDuzenle, &TAdvToolButton::ExecuteClick);
    connect(ui->Sil1, &QAction::triggered, ui->btnSil, &TAdvToolButton::ExecuteClick);
    connect(ui->Cikis1, &QAction::triggered, this, &TfrmMenu::btnCikisClick);
    // The stop itself takes the tray's road (Tray.cpp), which asks the service where it rings.
    connect(ui->Dosya1, &QMenu::aboutToShow, this, &TfrmMenu::refreshStopItem);
    connect(ui->SimdiDurdur1, &QAction::triggered, this, &TfrmMenu::refreshStopItem,
            Qt::QueuedConnection);
    connect(ui->ZilGecmisi1, &QAction::triggered, this, &TfrmMenu::ZilGecmisiIstendi);
    connect(ui->OkulTakvimi1, &QAction::triggered, this, &TfrmMenu::OkulTakvimiIstendi);
    // The ceremonies and 10 Kasım sit with the calendar they follow.
    QAction *ceremonies = ui->DersProgrami1->addAction(QStringLiteral("Törenler ve 10 &Kasım…"));
    ceremonies->setObjectName(QStringLiteral("Torenler1"));
    connect(ceremonies, &QAction::triggered, this, &TfrmMenu::TorenlerIstendi);
    QAction *oneOffs = ui->DersProgrami1->addAction(QStringLiteral("Tek s&eferlik ziller…"));
    oneOffs->setObjectName(QStringLiteral("TekSeferlik1"));
    connect(oneOffs, &QAction::triggered, this, &TfrmMenu::TekSeferlikIstendi);
    addBackupItems();
    addAnnouncementsItem();
    addPhoneItem();
    connect(ui->Hakkinda1, &QAction::triggered, this, &TfrmMenu::HakkindaIstendi);
    setUpRoles();
    connect(ui->Sihirbaz1, &QAction::triggered, this, &TfrmMenu::SihirbazIstendi);
    connect(ui->btnSihirbaz, &QPushButton::clicked, this, &TfrmMenu::SihirbazIstendi);
    connect(ui->TopluDegisiklik1, &QAction::triggered, this, [this] {
        emit TopluDegisiklikIstendi(ui->cmbGunler->currentIndex(), chosenProgramme());
    });

    // The area below the menu bar is fixed at 404 x 510; nothing resizes it.
    ui->centralwidget->setFixedSize(ClientWidth, ClientHeight);
    setFixedSize(ClientWidth, ClientHeight + ui->MainMenu1->sizeHint().height());

    ui->lblUyari->hide();
    ui->lblTakvim->hide();
    ui->lblTakvim->setFont(bold12);
    QPalette calendarLine = ui->lblTakvim->palette();
    calendarLine.setColor(QPalette::WindowText, QColor(0x00, 0x40, 0x90));
    ui->lblTakvim->setPalette(calendarLine);
    ui->lblUyari->setText(
        QStringLiteral("<a href=\"#zil-gecmisi\" style=\"color:#b00000\">Bugün çalınamayan ya da "
                       "kaçırılan zil var, Zil Geçmişi'ne bakın</a>"));
    connect(ui->lblUyari, &QLabel::linkActivated, this, &TfrmMenu::ZilGecmisiIstendi);
    // Drawn after the tick that read the plan anew: the tick rings first.
    connect(&m_plan, &DayPlan::changed, this, &TfrmMenu::drawDayLines, Qt::QueuedConnection);
    connect(&m_plan, &DayPlan::changed, this, handled([this] { ListeyiDoldur(); }),
            Qt::QueuedConnection);
    m_clockLine = new QLabel(ui->centralwidget);
    m_clockLine->setObjectName(QStringLiteral("lblSaatAyari"));
    m_clockLine->setTextFormat(Qt::PlainText);
    m_clockLine->setFont(bold12);
    QPalette clockLine = m_clockLine->palette();
    clockLine.setColor(QPalette::WindowText, QColor(0xb0, 0x50, 0x00));
    m_clockLine->setPalette(clockLine);
    m_clockLine->hide();

    FormCreate(online, webSite.isEmpty() ? makerWebSite() : webSite);
    // Centred only now: without a network the window has become shorter meanwhile.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmMenu::~TfrmMenu() = default;

QAction &TfrmMenu::autostartItem() {
    return *ui->OturumAcilincaBaslat1;
}

void TfrmMenu::setUpButtons() {
    struct Face {
        TAdvToolButton *button;
        QString caption;
        QString picture;
        void (TfrmMenu::*command)();
    };
    const Face faces[] = {
        {ui->btnYeniKayit, QStringLiteral("Yeni Kayıt"), QStringLiteral("yeni"),
         &TfrmMenu::btnYeniKayitClick},
        {ui->btnDuzenle, QStringLiteral("Düzenle"), QStringLiteral("duzenle"),
         &TfrmMenu::btnDuzenleClick},
        {ui->btnSil, QStringLiteral("Sil"), QStringLiteral("sil"), &TfrmMenu::btnSilClick},
        {ui->btnCikis, QStringLiteral("Çıkış"), QStringLiteral("cikis"), &TfrmMenu::btnCikisClick},
    };
    for (const Face &face : faces) {
        face.button->setCaption(face.caption);
        face.button->setColor(clBtnFace);
        face.button->setColorDown(14210002);
        face.button->setColorHot(13289415);
        face.button->setGlyph(QImage(QStringLiteral(":/buttons/%1.png").arg(face.picture)));
        face.button->setGlyphDisabled(
            QImage(QStringLiteral(":/buttons/%1_disabled.png").arg(face.picture)));
        connect(face.button, &TAdvToolButton::OnClick, this,
                handled([this, command = face.command] { (this->*command)(); }));
    }
}

bool TfrmMenu::machineIsOnline() {
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (!iface.addressEntries().isEmpty())
            return true;
    }
    return false;
}

void TfrmMenu::FormCreate(const std::function<bool()> &online, const QString &webSite) {
    const int unchosen = ui->cmbGunler->currentIndex();
    ui->cmbGunler->setCurrentIndex(todaysProgram());
    try {
        fillProgrammes(todaysProgramme());
        ListeyiDoldur();
    } catch (const ZilError &) {
        // A schedule that cannot be opened was told once already, by the program that opened
        // it: no day is chosen and the list stays empty until the user chooses one.
        ui->cmbGunler->setCurrentIndex(unchosen);
    }
    drawDayLines();
    ui->mpPlayer->device().SetTimeFormat(MCI_FORMAT_MILLISECONDS);

    const QScreen *screen = QGuiApplication::primaryScreen();
    bool panel = false;
    // On a small screen, or one with large letters, the window with the page would reach
    // below the screen; the bells matter more than the page.
    if (online && online() && (!screen || roomForWebPanel(screen->availableGeometry().size()))) {
        try {
            panel = setUpWebPanel(webSite);
        } catch (const ZilError &error) {
            // Created from the constructor, where nothing else would catch it.
            showErrorBox(error.message());
        }
    }
    if (!panel)
        showWebPanel(false);
}

bool TfrmMenu::roomForWebPanel(const QSize &available) const {
    return ClientHeight + ui->MainMenu1->sizeHint().height() + frameAllowance.height() <=
               available.height() &&
           ClientWidth + frameAllowance.width() <= available.width();
}

void TfrmMenu::showWebPanel(bool shown) {
    ui->pnlWeb->setVisible(shown);
    const int height = shown ? ClientHeight : ClientHeight - WebPanelHeight;
    ui->centralwidget->setFixedSize(ClientWidth, height);
    setFixedSize(ClientWidth, height + ui->MainMenu1->sizeHint().height());
}

void TfrmMenu::webPageLoaded(bool ok) {
    if (ok) {
        const QScreen *screen = this->screen();
        showWebPanel(!screen || roomForWebPanel(screen->availableGeometry().size()));
        return;
    }
    // The browser's error page means nothing to staff: the window takes its offline size and
    // the page is tried again later, unseen.
    showWebPanel(false);
    m_webRetry->start();
}

void TfrmMenu::setWebRetryInterval(int ms) {
    m_webRetry->setInterval(ms);
}

bool TfrmMenu::setUpWebPanel(const QString &webSite) {
    QStringList folders{QCoreApplication::applicationDirPath()};
    // Tests run from a folder of their own and use the build's module; an installed program
    // loads nothing but what lies beside it.
    if (dataFolder() == programFolder())
        folders << QStringLiteral(ZIL_BUILD_BIN_DIR);
    const auto present = std::find_if(folders.cbegin(), folders.cend(), [](const QString &folder) {
        return QFileInfo::exists(folder + QStringLiteral("/zil_webpanel.so"));
    });
    // The module is a package of its own, as it needs Qt WebEngine: without it, no panel.
    if (present == folders.cend())
        return false;
    QLibrary module(*present + QStringLiteral("/zil_webpanel.so"));
    const auto create =
        reinterpret_cast<CreateWebPanelFunction>(module.resolve(CreateWebPanelSymbol));
    if (!create)
        throw ZilError(QStringLiteral("Web paneli yüklenemedi (%1)").arg(module.errorString()));
    ui->pnlWeb->show();
    m_webPage = sitePageUrl(webSite, QStringLiteral("/ads/zil.html"));
    m_webBrowser = create(ui->pnlWeb, m_webPage);
    m_webBrowser->setObjectName(QStringLiteral("WebBrowser"));
    m_webBrowser->setGeometry(ui->pnlWeb->rect());
    // By name: the browser engine lives in its own module, which this one does not link.
    connect(m_webBrowser, SIGNAL(loadFinished(bool)), this, SLOT(webPageLoaded(bool)));
    return true;
}

void TfrmMenu::ListeyiDoldur() {
    // Filled again when the day's plan changes too: the list stays where the user had it.
    const int scrolled = ui->ListView1->verticalScrollBar()->value();
    ui->ListView1->clear();
    const QList<Bell> bells = m_store.dayBells(ui->cmbGunler->currentIndex(), chosenProgramme());
    const QString gun = ui->cmbGunler->currentText();
    QList<QTreeWidgetItem *> rows;
    for (const Bell &bell : bells) {
        auto *row = new BellRow;
        row->setText(ColGun, gun);
        row->setText(ColZil, bell.name);
        row->setToolTip(ColZil, bell.name);
        row->setText(ColBaslama, StartTimeText(bell.start));
        const QTime start = bell.startTime();
        row->setData(ColBaslama, Qt::UserRole, start.isValid() ? start.msecsSinceStartOfDay() : -1);
        row->setText(ColID, QString::number(bell.id));
        const std::optional<int> duration = bell.duration();
        // 0 plays the whole music, as the wizard says it.
        row->setText(ColSure, duration == 0 ? QStringLiteral("tamamı") : bell.sure.toString());
        row->setData(ColSure, Qt::UserRole, duration.value_or(-1));
        rows.append(row);
    }
    // Today's own moments (the flag ceremony, one-off bells, 10 Kasım) are no rows of the week,
    // yet they sound among its bells: shown beside them, in grey, when the list shows the day
    // and programme that ring today.
    const QDate today = programClock().now().date();
    if (m_plan.date() == today && ui->cmbGunler->currentIndex() == m_plan.day().gunId &&
        chosenProgramme() == m_plan.programme())
        for (const PlannedSound &sound : m_plan.sounds()) {
            if (sound.kind == PlannedSound::Kind::Bell || sound.bell.isChime())
                continue;
            auto *row = new BellRow;
            row->setText(ColGun, gun);
            row->setText(ColZil, sound.bell.name);
            row->setToolTip(
                ColZil,
                sound.quiet.isEmpty()
                    ? QStringLiteral("Yalnız bugün: %1").arg(sound.bell.name)
                    : QStringLiteral("%1 (çalmayacak: %2)").arg(sound.bell.name, sound.quiet));
            row->setText(ColBaslama, TimeText(sound.at));
            row->setData(ColBaslama, Qt::UserRole,
                         sound.at.isValid() ? sound.at.msecsSinceStartOfDay() : -1);
            const std::optional<int> duration = sound.bell.duration();
            row->setText(ColSure, duration == 0 ? QStringLiteral("tamamı")
                                                : QString::number(duration.value_or(0)));
            row->setData(ColSure, Qt::UserRole, duration.value_or(-1));
            row->setData(ColID, Qt::UserRole, true);
            for (int column = 0; column < ui->ListView1->columnCount(); ++column)
                row->setForeground(column, QColor(0x60, 0x60, 0x60));
            rows.append(row);
        }
    // Sorted as they go in, by the column last chosen.
    ui->ListView1->addTopLevelItems(rows);
    fitNameColumns();
    ui->ListView1->verticalScrollBar()->setValue(scrolled);
    emit listFilled();
}

bool TfrmMenu::todaysOwnRow(QTreeWidgetItem *row) {
    if (!row || !row->data(ColID, Qt::UserRole).toBool())
        return false;
    showMessage(this, QStringLiteral("Bu satır haftanın bir zili değil: tören \"Törenler ve 10 "
                                     "Kasım\", tek seferlik bir zil \"Tek seferlik ziller\", bir "
                                     "anons \"Anonslar\" penceresinden değiştirilir."));
    return true;
}

void TfrmMenu::fitNameColumns() {
    QTreeWidget *list = ui->ListView1;
    list->resizeColumnToContents(ColGun);
    list->resizeColumnToContents(ColZil);
    // "tamamı" is wider than the digits the duration column was laid out for.
    QStyleOptionViewItem option;
    option.initFrom(list);
    int sure = SureWidth;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        sure = qMax(
            sure,
            list->itemDelegate()->sizeHint(option, list->model()->index(row, ColSure)).width());
    list->setColumnWidth(ColSure, sure);
    // A long name must not push the start and the duration out of view: the name is cut (its
    // whole text is in the row's tooltip) so that the columns after it still fit.
    // Measured from the list's own size, which is set before the list is first shown, and with
    // room for a scroll bar that a longer day brings.
    const int room = list->maximumViewportSize().width() -
                     list->verticalScrollBar()->sizeHint().width() - list->columnWidth(ColBaslama) -
                     list->columnWidth(ColID) - list->columnWidth(ColSure);
    const int gun = qMin(list->columnWidth(ColGun), room / 2);
    list->setColumnWidth(ColGun, gun);
    list->setColumnWidth(ColZil, qMax(0, qMin(list->columnWidth(ColZil), room - gun)));
}

QTreeWidgetItem *TfrmMenu::selectedRow() const {
    const auto selected = ui->ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TfrmMenu::showTime(const QString &caption) {
    ui->Saat->setText(caption);
    refreshStopItem();
    const QDateTime now = programClock().now();
    if (now.date() != m_linesDate || (m_nextBell.isValid() && now.time() >= m_nextBell))
        drawDayLines();
}

void TfrmMenu::drawDayLines() {
    const QDateTime now = programClock().now();
    // A plan of another date (the clock has not read today yet) tells nothing of today.
    const bool today = m_plan.date() == now.date();
    const PlannedSound *next = today ? m_plan.next(now.time()) : nullptr;
    m_nextBell = next ? next->at : QTime();
    m_linesDate = today ? now.date() : QDate();
    const QString text = m_plan.nextLine(today ? now.time() : QTime(23, 59, 59, 999));
    // A long name is cut in the window; the whole line is in the tooltip.
    QLabel *label = ui->lblSiradakiZil;
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width()));
    label->setToolTip(text);
    showCalendarLine(today ? m_plan.day().line() : QString());
    ui->lblUyari->setVisible(today && m_plan.troubled());
    placeNoticeLines();
    emit dayLinesChanged();
}

void TfrmMenu::setClockLine(const QString &shortLine, const QString &line) {
    m_clockLine->setProperty("whole", shortLine);
    m_clockLine->setToolTip(line);
    m_clockLine->setVisible(!shortLine.isEmpty());
    placeNoticeLines();
}

void TfrmMenu::setSchoolName(const QString &name) {
    setWindowTitle(name.isEmpty() ? m_programTitle
                                  : QStringLiteral("%1 - %2").arg(m_programTitle, name));
    // The tray's tooltip begins with the title.
    emit dayLinesChanged();
}

void TfrmMenu::placeNoticeLines() {
    if (!m_clockLine)
        return;
    // The rows between the picture and the list: the calendar's (or the welcome's), the
    // trouble line's, and the short one beside the player that the service line uses.
    const QRect calendarRow = ui->lblTakvim->geometry();
    const QRect troubleRow = ui->lblUyari->geometry();
    const QRect serviceRow(ui->lblTakvim->x(), ui->mpPlayer->y() + 2,
                           ui->mpPlayer->x() - ui->lblTakvim->x() - 6, troubleRow.height());
    ui->lblHizmet->setVisible(m_serviceRings);
    ui->Label1->setVisible(ui->lblTakvim->isHidden());
    if (m_clockLine->isHidden())
        return;
    QRect row;
    if (ui->lblUyari->isHidden()) {
        row = troubleRow;
    } else if (!m_serviceRings) {
        row = serviceRow;
    } else if (ui->lblTakvim->isHidden()) {
        // The welcome is only a greeting.
        row = calendarRow;
        ui->Label1->hide();
    } else {
        // Every row is taken: the service line gives way, as the tray still says who rings.
        row = serviceRow;
        ui->lblHizmet->hide();
    }
    m_clockLine->setGeometry(row);
    const QString whole = m_clockLine->property("whole").toString();
    m_clockLine->setText(m_clockLine->fontMetrics().elidedText(whole, Qt::ElideRight, row.width()));
}

int TfrmMenu::todaysProgram() const {
    const QDate today = programClock().now().date();
    return m_plan.date() == today ? m_plan.day().gunId : GunIDOf(today);
}

int TfrmMenu::todaysProgramme() const {
    return m_plan.date() == programClock().now().date() ? m_plan.day().programme
                                                        : Programme::Normal;
}

int TfrmMenu::chosenProgramme() const {
    const QVariant id = ui->cmbProgram->currentData();
    return id.isValid() ? id.toInt() : Programme::Normal;
}

void TfrmMenu::fillProgrammes(int chosen) {
    QComboBox *choice = ui->cmbProgram;
    choice->clear();
    for (const Programme &programme : m_store.programmes())
        choice->addItem(programme.name, programme.id);
    // A programme removed meanwhile leaves Normal's bells in view, as it leaves them ringing.
    const int row = choice->findData(chosen);
    choice->setCurrentIndex(row >= 0 ? row : choice->findData(Programme::Normal));
}

void TfrmMenu::refreshProgrammes() {
    fillProgrammes(chosenProgramme());
    ListeyiDoldur();
}

void TfrmMenu::showProgrammes() {
    if (!m_programmes) {
        m_programmes = new TfrmProgramlar(m_store, this);
        m_programmes->setGate(m_gate);
        connect(m_programmes, &TfrmProgramlar::programmesChanged, this,
                handled([this] { refreshProgrammes(); }));
    }
    m_programmes->ShowProgrammes();
}

void TfrmMenu::showCalendarLine(const QString &line) {
    QLabel *label = ui->lblTakvim;
    label->setText(label->fontMetrics().elidedText(line, Qt::ElideRight, label->width()));
    label->setToolTip(line);
    label->setVisible(!line.isEmpty());
    ui->Label1->setVisible(line.isEmpty());
    placeNoticeLines();
}

void TfrmMenu::cmbGunlerChange() {
    ListeyiDoldur();
}

void TfrmMenu::btnYeniKayitClick() {
    if (!allowed(Action::ChangeSchedule))
        return;
    emit EditorIstendi(1, ui->cmbGunler->currentIndex(), 0);
}

void TfrmMenu::btnDuzenleClick() {
    QTreeWidgetItem *row = selectedRow();
    if (!row) {
        showMessage(this, QStringLiteral("Düzenlemek için lütfen bir kayıt seçin!"));
        return;
    }
    ListView1DblClick(row);
}

void TfrmMenu::ListView1DblClick(QTreeWidgetItem *item) {
    if (!item || todaysOwnRow(item))
        return;
    emit EditorIstendi(2, ui->cmbGunler->currentIndex(), item->text(ColID).toInt());
}

void TfrmMenu::btnSilClick() {
    QTreeWidgetItem *row = selectedRow();
    if (!row) {
        showMessage(this, QStringLiteral("Silmek için lütfen bir kayıt seçin!"));
        return;
    }
    if (todaysOwnRow(row))
        return;
    const QString id = row->text(ColID);
    if (!allowed(Action::ChangeSchedule))
        return;

    if (!askYesNo(this, windowTitle(),
                  QStringLiteral("Seçili Kaydı Silmek İstediğinizden Emin misiniz?"),
                  QStringLiteral("&Yes"), QStringLiteral("&No"), true))
        return;

    try {
        m_store.remove(id.toInt());
    } catch (const ZilError &) {
        showMessage(this, QStringLiteral("Kayıt Silinemedi!"));
    }
    ListeyiDoldur();
}

void TfrmMenu::btnCikisClick() {
    if (askToEnd())
        QCoreApplication::quit();
}

bool TfrmMenu::askToEnd() {
    // The service goes on ringing without this window.
    if (serviceRings())
        return true;
    if (!allowed(Action::EndProgram))
        return false;
    return askYesNo(this, windowTitle(),
                    QStringLiteral("Program kapanırsa ziller çalmaz. Yine de çıkmak istiyor "
                                   "musunuz?"));
}

void TfrmMenu::setClosesToTray(std::function<bool()> closesToTray) {
    m_closesToTray = std::move(closesToTray);
}

void TfrmMenu::closeEvent(QCloseEvent *event) {
    if (m_ending) {
        event->accept();
        return;
    }
    if (m_closesToTray && m_closesToTray()) {
        event->ignore();
        hide();
        if (!m_toldHiddenToTray) {
            m_toldHiddenToTray = true;
            emit hiddenToTray();
        }
        return;
    }
    if (!askToEnd()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TfrmMenu::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // A schedule that could not be opened at start was told before this window existed.
    keepNoticesOver(this);
}

bool TfrmMenu::eventFilter(QObject *watched, QEvent *event) {
    // Ending the program closes every window first; this one must then not ask again, nor
    // hide, or the end would be called off (a log-out, a stop signal, "Çıkış" agreed).
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
        m_ending = true;
        return false;
    }
    if (watched == ui->ListView1 && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ui->btnDuzenle->ExecuteClick();
            return true;
        case Qt::Key_Delete:
            ui->btnSil->ExecuteClick();
            return true;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMenu::setServiceRings(bool rings) {
    m_serviceRings = rings;
    refreshStopItem();
    placeNoticeLines();
    emit dayLinesChanged();
}

void TfrmMenu::addBackupItems() {
    // Above Çıkış, with a line between.
    QAction *backUp = new QAction(QStringLiteral("Y&edekle…"), this);
    backUp->setObjectName(QStringLiteral("Yedekle1"));
    QAction *restore = new QAction(QStringLiteral("Yedekten &geri yükle…"), this);
    restore->setObjectName(QStringLiteral("GeriYukle1"));
    ui->Dosya1->insertActions(ui->Cikis1, {backUp, restore});
    ui->Dosya1->insertSeparator(ui->Cikis1);
    // A backup holds the whole school, and a restore replaces it.
    connect(backUp, &QAction::triggered, this,
            gated(Action::ChangeSettings, [this] { Yedekleme::backUp(this); }));
    connect(restore, &QAction::triggered, this, gated(Action::ChangeSchedule, [this] {
                Yedekleme::restore(this, [this] {
                    refreshProgrammes();
                    ListeyiDoldur();
                });
            }));
    QAction *settings = ui->Ayarlar1->addAction(QStringLiteral("Ye&dek ayarları…"));
    settings->setObjectName(QStringLiteral("YedekAyarlari1"));
    connect(settings, &QAction::triggered, this,
            gated(Action::ChangeSettings, [this] { Yedekleme::settings(this); }));
}

void TfrmMenu::addPhoneItem() {
    QAction *phone = ui->Ayarlar1->addAction(QStringLiteral("&Telefondan yönetim…"));
    phone->setObjectName(QStringLiteral("TelefondanYonetim1"));
    connect(phone, &QAction::triggered, this, gated(Action::ChangeSettings, [this] {
                TfrmTelefonAyarlari window(dataFolder(), this);
                window.setGate(&gate());
                window.exec();
            }));
}

void TfrmMenu::addAnnouncementsItem() {
    QAction *announcements = ui->DersProgrami1->addAction(QStringLiteral("&Anonslar…"));
    announcements->setObjectName(QStringLiteral("Anonslar1"));
    connect(announcements, &QAction::triggered, this, &TfrmMenu::AnonslarIstendi);
}

void TfrmMenu::refreshStopItem() {
    // What the background service plays is not known here: its stop is always offered.
    const bool sounds = m_serviceRings || ui->mpPlayer->device().IsOpen() ||
                        (m_gate && m_gate->louderSound && !m_gate->louderSound().isEmpty());
    ui->SimdiDurdur1->setEnabled(sounds);
}
