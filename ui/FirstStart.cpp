#include "FirstStart.h"

#include "AnaSayfa.h"
#include "BellStore.h"
#include "Calendar.h"
#include "ErrorBox.h"
#include "ui_AnaSayfa.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FirstStartPanel::FirstStartPanel(BellStore &store, Calendar &calendar, TfrmMenu &menu)
    : QFrame(menu.controls().gbListe)
    , m_store(store)
    , m_calendarStore(calendar)
    , m_menu(menu)
    , m_name(new QLineEdit(this))
    , m_wizard(new QPushButton(QStringLiteral("Sihirbaz ile zilleri kurun…"), this))
    , m_calendar(new QPushButton(QStringLiteral("Okul Takvimi…"), this))
    , m_done(new QPushButton(QStringLiteral("Listeye geç"), this)) {
    setObjectName(QStringLiteral("pnlIlkAcilis"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // Exactly where the list is, so that nothing else in the window moves.
    setGeometry(menu.controls().ListView1->geometry());
    m_name->setObjectName(QStringLiteral("txtOkulAdi"));
    m_name->setMaxLength(Calendar::SchoolNameLength);
    m_name->setPlaceholderText(QStringLiteral("ör. Atatürk İlkokulu"));
    m_wizard->setObjectName(QStringLiteral("btnIlkSihirbaz"));
    m_wizard->setToolTip(QStringLiteral("Bir haftanın zillerini birkaç sayıdan kurar; "
                                        "programın kendi zil sesleri hazır gelir"));
    m_calendar->setObjectName(QStringLiteral("btnIlkTakvim"));
    m_calendar->setToolTip(QStringLiteral("Öğretim yılının ilk ve son günü, tatiller"));
    m_done->setObjectName(QStringLiteral("btnIlkKapat"));
    m_done->setToolTip(QStringLiteral("Zilleri kendiniz \"Yeni Kayıt\" ile girin"));

    auto *title = new QLabel(QStringLiteral("Zil programı boş. Başlamak için:"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 3, 6, 3);
    grid->setVerticalSpacing(3);
    grid->addWidget(title, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("1. Okulun adı:"), this), 1, 0);
    grid->addWidget(m_name, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("2. Ziller:"), this), 2, 0);
    grid->addWidget(m_wizard, 2, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("3. Öğretim yılı:"), this), 3, 0);
    grid->addWidget(m_calendar, 3, 1);
    grid->addWidget(m_done, 3, 2);

    connect(m_name, &QLineEdit::editingFinished, this, handled([this] { keepName(); }));
    connect(m_wizard, &QPushButton::clicked, this, handled([this] {
                if (keepName())
                    emit wizardWanted();
            }));
    connect(m_calendar, &QPushButton::clicked, this, handled([this] {
                if (keepName())
                    emit calendarWanted();
            }));
    connect(m_done, &QPushButton::clicked, this, handled([this] { finish(); }));
    connect(&m_menu, &TfrmMenu::listFilled, this, handled([this] { refresh(); }));
    hide();
}

bool FirstStartPanel::scheduleEmpty() {
    for (const Programme &programme : m_store.programmes())
        for (int gun = 0; gun < 7; ++gun)
            if (!m_store.dayBells(gun, programme.id).isEmpty())
                return false;
    return true;
}

void FirstStartPanel::refresh() {
    bool wanted = false;
    try {
        wanted = !m_calendarStore.firstStartDone() && scheduleEmpty();
        // What the user has typed stays; otherwise the field shows the kept name.
        if (wanted && !m_name->isModified())
            m_name->setText(m_calendarStore.schoolName());
        // The wizard or the editor has put bells in: the way in has done its work. A schedule
        // that had bells from the start is only read.
        if (!wanted && !isHidden())
            m_calendarStore.setFirstStartDone();
    } catch (const ZilError &) {
        // A schedule that cannot be read was told already by whoever opened it; the list's
        // place is left to the list.
        wanted = false;
    }
    setVisible(wanted);
    if (wanted)
        raise();
}

bool FirstStartPanel::keepName() {
    const QString typed = m_name->text();
    if (typed.trimmed() == m_calendarStore.schoolName())
        return true;
    if (!m_menu.allowed(Action::ChangeSettings))
        return false;
    try {
        m_calendarStore.setSchoolName(typed);
    } catch (const ZilError &error) {
        showMessage(&m_menu, error.message());
        return false;
    }
    m_menu.setSchoolName(m_calendarStore.schoolName());
    return true;
}

void FirstStartPanel::finish() {
    if (!keepName())
        return;
    m_calendarStore.setFirstStartDone();
    hide();
}

QAction *addSchoolNameCommand(TfrmMenu &menu, Calendar &calendar) {
    QAction *command = menu.controls().Ayarlar1->addAction(QStringLiteral("Okulun &adı…"));
    command->setObjectName(QStringLiteral("OkulunAdi1"));
    QObject::connect(
        command, &QAction::triggered, &menu, menu.gated(Action::ChangeSettings, [&menu, &calendar] {
            // Not modal: the bells go on ringing while the name is typed.
            auto *dialog = new QInputDialog(&menu);
            dialog->setObjectName(QStringLiteral("dlgOkulunAdi"));
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setWindowTitle(QStringLiteral("Okulun adı"));
            dialog->setLabelText(QStringLiteral("Pencerenin başlığında ve yazdırılan haftada "
                                                "görünecek okul adı:"));
            dialog->setTextValue(calendar.schoolName());
            dialog->setOkButtonText(QStringLiteral("Kaydet"));
            dialog->setCancelButtonText(QStringLiteral("Vazgeç"));
            if (auto *field = dialog->findChild<QLineEdit *>())
                field->setMaxLength(Calendar::SchoolNameLength);
            QObject::connect(dialog, &QInputDialog::textValueSelected, &menu,
                             [&menu, &calendar](const QString &name) {
                                 runHandler([&] {
                                     calendar.setSchoolName(name);
                                     menu.setSchoolName(calendar.schoolName());
                                 });
                             });
            dialog->open();
        }));
    return command;
}
