#pragma once

#include "BellStore.h"

#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QString>

class Calendar;
class QAction;
class QPagedPaintDevice;
class QPainter;
class TfrmMenu;

// WeekSheet: one programme's week as printed on a single A4 page, days as columns and bells as
// rows (start and name), headed by the school's name and footed by the date it was printed.
struct WeekSheet {
    QString school;
    QString programme;
    QList<QList<Bell>> days; // by GunID, each in time order
    QDateTime printed;

    // The bells of `programme` as `store` has them now.
    static WeekSheet of(BellStore &store, int programme, const QString &school,
                        const QDateTime &printed);
    // The weekdays that get a column: Monday to Friday always, the weekend where it has bells.
    QList<int> columns() const;
    int rows() const;
};

// How a sheet was laid out on its page, in the device's units.
struct WeekLayout {
    QRectF page;
    QRectF table;
    int fontPixels = 0; // the rows' letters, made smaller as the day gets longer
};

// Paints `sheet` inside `page` (the device's printable area): a long day takes smaller letters
// so that every bell still fits the one page.
WeekLayout paintWeek(QPainter &painter, const QRectF &page, const WeekSheet &sheet);
// Sets `device` to A4 landscape and paints the sheet on its one page; false when the device
// could not be painted on.
bool printWeek(QPagedPaintDevice &device, const WeekSheet &sheet);

// "Dosya" > "Yazdır / PDF…": the week of the programme the main window lists, in a print
// preview from which it is printed or saved as PDF.
QAction *addPrintCommand(TfrmMenu &menu, BellStore &store, Calendar &calendar);
