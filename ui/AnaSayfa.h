#pragma once

#include "BellStore.h"
#include "DayPlan.h"
#include "ErrorBox.h"
#include "RoleGate.h"

#include <QDate>
#include <QMainWindow>
#include <QTime>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class TfrmMenu;
}
class MediaPlayerDevice;
class QLabel;
class TfrmProgramlar;
class TfrmYetkiler;
class QTreeWidgetItem;

// TfrmMenu, the main window: one weekday's bells, the commands on them, the running clock, what
// today's plan sounds next, and the maker's page when the machine is online and it loads. Closing
// it hides it to the tray where there is one; otherwise, and from "Çıkış", the program ends once
// the user has agreed that the bells then stop.
class TfrmMenu : public QMainWindow {
    Q_OBJECT
public:
    // The window lists and changes the bells of `store`, draws today's lines from `plan` and
    // lets the user play, pause and stop `player`; all three must outlive it. It starts
    // nothing: the program rings the bells whether the window is shown or not. `online` answers
    // whether the machine has a connection; it is asked once, at creation. `webSite` is the
    // maker's site whose page the web panel shows.
    TfrmMenu(BellStore &store, DayPlan &plan, MediaPlayerDevice &player,
             std::function<bool()> online = machineIsOnline, const QString &webSite = {},
             QWidget *parent = nullptr);
    ~TfrmMenu() override;

    // An interface that is up, running, not loopback and has an address.
    static bool machineIsOnline();

    Ui::TfrmMenu &controls() { return *ui; }
    // "Ayarlar" > "Oturum açılınca başlat", wired by the program that owns the setting.
    QAction &autostartItem();
    // Created only when the machine was online at start-up.
    QWidget *WebBrowser() const { return m_webBrowser; }

    // The bells of the chosen day of the chosen programme.
    void ListeyiDoldur();
    // The programme whose bells are listed, and where "Yeni Kayıt" adds one.
    int chosenProgramme() const;
    // The programme choice read afresh, keeping the chosen one while it exists.
    void refreshProgrammes();
    // "Programlar…": the window that adds, renames and removes programmes.
    void showProgrammes();
    TfrmProgramlar *programmesWindow() const { return m_programmes; }

    void cmbGunlerChange();
    void btnYeniKayitClick();
    void btnDuzenleClick();
    void ListView1DblClick(QTreeWidgetItem *item);
    void btnSilClick();
    // Ends the program, after asking while this copy rings the bells.
    void btnCikisClick();

    // Where closing the window only hides it: while this answers true (the tray icon shows).
    void setClosesToTray(std::function<bool()> closesToTray);
    // Whether the window with the maker's page fits a screen whose free area is `available`.
    bool roomForWebPanel(const QSize &available) const;
    // How long after a page that failed to load it is tried again.
    void setWebRetryInterval(int ms);

    // While the background service rings this folder's bells, the window says so in place of
    // its welcome line.
    void setServiceRings(bool rings);
    bool serviceRings() const { return m_serviceRings; }

    // The clock's caption for the second that has begun; the next bell's line moves on with it.
    void showTime(const QString &caption);

    // What is wrong with the computer's clock, `shortLine` shown in one line of the window and
    // the whole `line` in its tooltip; empty texts hide it.
    void setClockLine(const QString &shortLine, const QString &line);
    QLabel *clockLine() const { return m_clockLine; }
    // The school's name beside the program's in the title; empty: the program's alone.
    void setSchoolName(const QString &name);
    // Staff roles (AnaSayfaYetki.cpp). The one question a command asks before it changes the
    // schedule, the calendar or the settings, or plays or stops sound; it asks for a PIN when
    // one is needed. A new menu command is connected through gated():
    //     connect(action, &QAction::triggered, this, gated(Action::ChangeSettings, [this] {...}));
    bool allowed(Action action) { return m_gate->allowed(action, this); }
    template <class Handler> auto gated(Action action, Handler handler) {
        return [this, action, handler = std::move(handler)] {
            runHandler([&] {
                if (allowed(action))
                    handler();
            });
        };
    }
    RoleGate &gate() { return *m_gate; }
    // "Ayarlar" > "Yetkiler ve PIN…", made when first asked for.
    void showRolesWindow();
    TfrmYetkiler *rolesWindow() const { return m_rolesWindow; }
    QLabel &roleLine() { return *m_roleLine; }

signals:
    // The editor is to be shown in mode 1 (new, with the day selected here) or 2 (edit the
    // bell kayitId).
    void EditorIstendi(int editorKipi, int gunIndex, int kayitId);
    void HakkindaIstendi();
    void ZilGecmisiIstendi();
    // The next bell, today's calendar or warning line, or the service's line has changed.
    void dayLinesChanged();
    void OkulTakvimiIstendi();
    void TorenlerIstendi();
    void TekSeferlikIstendi();
    void AnonslarIstendi();
    // The timetable wizard, and the changes to many bells starting from the day selected here.
    void SihirbazIstendi();
    void TopluDegisiklikIstendi(int gunIndex, int programme);
    // The window went to the tray for the first time; the tray tells the user it did.
    void hiddenToTray();
    // The list was read afresh from the schedule.
    void listFilled();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    // The maker's page has loaded, or failed to.
    void webPageLoaded(bool ok);

private:
    void FormCreate(const std::function<bool()> &online, const QString &webSite);
    void setUpButtons();
    // False when the web panel's module is not installed.
    bool setUpWebPanel(const QString &webSite);
    // The window's height with the web panel or without it.
    void showWebPanel(bool shown);
    bool askToEnd();
    // Whether `row` is one of today's own moments rather than a bell of the week; says where
    // it is changed when it is.
    bool todaysOwnRow(QTreeWidgetItem *row);
    QTreeWidgetItem *selectedRow() const;
    void fitNameColumns();
    // The next bell, today's calendar line and the warning line, drawn from the plan.
    void drawDayLines();
    // What the school calendar says of today, in place of the welcome text; an ordinary day
    // shows the welcome text.
    void showCalendarLine(const QString &line);
    // The weekday whose bells ring today: a make-up day's chosen one, or today's own.
    int todaysProgram() const;
    // The programme that rings today: a special one on its dates, else Normal.
    int todaysProgramme() const;
    void fillProgrammes(int chosen);
    // "Yedekle…", "Yedekten geri yükle…" in Dosya and "Yedek ayarları…" in Ayarlar.
    void addBackupItems();
    // "Anonslar…" in the Ders Programı menu.
    void addAnnouncementsItem();
    // "Ayarlar > Telefondan yönetim…".
    void addPhoneItem();
    // Puts the lines that come and go (trouble, the clock, the service) on the free rows above
    // the list, so that none covers another.
    void placeNoticeLines();
    // The roles' menu items, the line that tells who is logged in, the player bar's gate.
    void setUpRoles();
    void drawRole();
    // "Şimdi durdur" is offered while something sounds.
    void refreshStopItem();

    std::unique_ptr<Ui::TfrmMenu> ui;
    BellStore &m_store;
    DayPlan &m_plan;
    QWidget *m_webBrowser = nullptr;
    TfrmProgramlar *m_programmes = nullptr;
    RoleGate *m_gate = nullptr;
    TfrmYetkiler *m_rolesWindow = nullptr;
    QLabel *m_roleLine = nullptr;
    QUrl m_webPage;
    QTimer *m_webRetry;
    std::function<bool()> m_closesToTray;
    bool m_toldHiddenToTray = false;
    // The program is ending (the user agreed, or the system asked): closing asks nothing.
    bool m_ending = false;

    bool m_serviceRings = false;
    QLabel *m_clockLine = nullptr;
    QString m_programTitle;
    // When the lines were drawn, and the second at which the next bell's line moves on.
    QDate m_linesDate;
    QTime m_nextBell; // invalid: no bell left that day
};
