#include "WeekPrint.h"

#include "AnaSayfa.h"
#include "Calendar.h"
#include "Clock.h"
#include "ErrorBox.h"
#include "ProgramValues.h"
#include "Schedule.h"
#include "ui_AnaSayfa.h"

#include <QLocale>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <memory>

namespace {
// Sizes in points, turned into the device's pixels where they are used.
constexpr qreal TitlePt = 18;
constexpr qreal SubtitlePt = 11;
constexpr qreal FooterPt = 8;
constexpr qreal LargestRowPt = 11;
// A row is this much taller than its letters.
constexpr qreal RowLeading = 1.45;

int pixels(qreal points, const QPaintDevice &device) {
    return qMax(1, qRound(points * device.logicalDpiY() / 72.0));
}
} // namespace

WeekSheet WeekSheet::of(BellStore &store, int programme, const QString &school,
                        const QDateTime &printed) {
    WeekSheet sheet;
    sheet.school = school;
    sheet.printed = printed;
    for (const Programme &each : store.programmes())
        if (each.id == programme)
            sheet.programme = each.name;
    for (int gun = 0; gun < 7; ++gun) {
        QList<Bell> bells = store.dayBells(gun, programme);
        // Staff read a day in time order; a start that is not a time goes last.
        std::stable_sort(bells.begin(), bells.end(), [](const Bell &a, const Bell &b) {
            const QTime x = a.startTime(), y = b.startTime();
            if (x.isValid() != y.isValid())
                return x.isValid();
            return x < y;
        });
        sheet.days.append(bells);
    }
    return sheet;
}

QList<int> WeekSheet::columns() const {
    QList<int> shown;
    for (int gun = 0; gun < days.size(); ++gun)
        if (gun < 5 || !days[gun].isEmpty())
            shown.append(gun);
    return shown;
}

int WeekSheet::rows() const {
    qsizetype most = 0;
    for (const QList<Bell> &day : days)
        most = qMax(most, day.size());
    return int(most);
}

WeekLayout paintWeek(QPainter &painter, const QRectF &page, const WeekSheet &sheet) {
    const QPaintDevice &device = *painter.device();
    WeekLayout layout;
    layout.page = page;
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    painter.save();
    painter.setPen(Qt::black);

    QFont title;
    title.setPixelSize(pixels(TitlePt, device));
    title.setBold(true);
    painter.setFont(title);
    const QString school =
        sheet.school.isEmpty() ? QStringLiteral("Selvanor Zil Sistemi") : sheet.school;
    QRectF line(page.left(), page.top(), page.width(), QFontMetricsF(title).height());
    painter.drawText(line, Qt::AlignHCenter | Qt::AlignTop,
                     QFontMetricsF(title).elidedText(school, Qt::ElideRight, line.width()));

    QFont subtitle;
    subtitle.setPixelSize(pixels(SubtitlePt, device));
    painter.setFont(subtitle);
    line.moveTop(line.bottom());
    line.setHeight(QFontMetricsF(subtitle).height() * 1.6);
    painter.drawText(line, Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("%1 programı - haftalık zil çizelgesi").arg(sheet.programme));

    QFont footer;
    footer.setPixelSize(pixels(FooterPt, device));
    painter.setFont(footer);
    const qreal footerHeight = QFontMetricsF(footer).height() * 1.5;
    const QRectF foot(page.left(), page.bottom() - footerHeight, page.width(), footerHeight);
    painter.drawText(
        foot, Qt::AlignLeft | Qt::AlignBottom,
        QStringLiteral("Yazdırma tarihi: %1")
            .arg(turkish.toString(sheet.printed, QStringLiteral("d MMMM yyyy HH:mm"))));
    painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                     QStringLiteral("Selvanor Zil Sistemi"));

    layout.table = QRectF(page.left(), line.bottom(), page.width(),
                          foot.top() - line.bottom() - footerHeight * 0.5);
    const QList<int> columns = sheet.columns();
    // One row for the days' names, then one per bell of the longest day.
    const int rows = sheet.rows() + 1;
    const qreal rowHeight = layout.table.height() / rows;
    // As large as the longest day lets it be: the page never runs over.
    layout.fontPixels = qMax(1, qMin(pixels(LargestRowPt, device), int(rowHeight / RowLeading)));
    const qreal usedRow = qMin(rowHeight, layout.fontPixels * RowLeading);
    layout.table.setHeight(usedRow * rows);
    const qreal columnWidth = layout.table.width() / columns.size();
    const qreal pad = layout.fontPixels * 0.3;

    QFont cell;
    cell.setPixelSize(layout.fontPixels);
    QFont bold = cell;
    bold.setBold(true);
    const QStringList dayNames = GunAdlari();
    painter.setPen(QPen(Qt::black, qMax(1, pixels(0.5, device) / 2)));
    painter.fillRect(QRectF(layout.table.topLeft(), QSizeF(layout.table.width(), usedRow)),
                     QColor(0xe6, 0xe6, 0xe6));
    for (int c = 0; c < columns.size(); ++c) {
        const int gun = columns[c];
        const qreal x = layout.table.left() + c * columnWidth;
        const QRectF head(x + pad, layout.table.top(), columnWidth - 2 * pad, usedRow);
        painter.setFont(bold);
        painter.drawText(head, Qt::AlignCenter, dayNames.value(gun));
        const QList<Bell> &bells = sheet.days.value(gun);
        const qreal timeWidth =
            QFontMetricsF(bold).horizontalAdvance(QStringLiteral("00:00:00")) + pad;
        for (int r = 0; r < bells.size(); ++r) {
            const QRectF box(x + pad, layout.table.top() + (r + 1) * usedRow, columnWidth - 2 * pad,
                             usedRow);
            painter.setFont(bold);
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, StartTimeText(bells[r].start));
            painter.setFont(cell);
            const QRectF name = box.adjusted(timeWidth, 0, 0, 0);
            painter.drawText(
                name, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetricsF(cell).elidedText(bells[r].name, Qt::ElideRight, name.width()));
        }
    }
    // The grid: a line under every row and between the days.
    for (int r = 0; r <= rows; ++r) {
        const qreal y = layout.table.top() + r * usedRow;
        painter.drawLine(QPointF(layout.table.left(), y), QPointF(layout.table.right(), y));
    }
    for (int c = 0; c <= columns.size(); ++c) {
        const qreal x = layout.table.left() + c * columnWidth;
        painter.drawLine(QPointF(x, layout.table.top()), QPointF(x, layout.table.bottom()));
    }
    painter.restore();
    return layout;
}

bool printWeek(QPagedPaintDevice &device, const WeekSheet &sheet) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    paintWeek(painter, QRectF(0, 0, device.width(), device.height()), sheet);
    return painter.end();
}

QAction *addPrintCommand(TfrmMenu &menu, BellStore &store, Calendar &calendar) {
    Ui::TfrmMenu &ui = menu.controls();
    auto *command = new QAction(QStringLiteral("Ya&zdır / PDF…"), &menu);
    command->setObjectName(QStringLiteral("Yazdir1"));
    command->setShortcut(QKeySequence::Print);
    ui.Dosya1->insertAction(ui.Cikis1, command);
    ui.Dosya1->insertSeparator(ui.Cikis1);
    QObject::connect(
        command, &QAction::triggered, &menu, handled([&menu, &store, &calendar] {
            // Read now: the preview shows the week as it is when asked for.
            const WeekSheet sheet = WeekSheet::of(store, menu.chosenProgramme(),
                                                  calendar.schoolName(), programClock().now());
            auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
            printer->setDocName(QStringLiteral("Zil çizelgesi - %1").arg(sheet.programme));
            printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                               QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
            auto *preview = new QPrintPreviewDialog(printer.get(), &menu);
            preview->setObjectName(QStringLiteral("dlgYazdir"));
            preview->setAttribute(Qt::WA_DeleteOnClose);
            preview->setWindowTitle(
                QStringLiteral("Yazdır / PDF - %1 programı").arg(sheet.programme));
            // The printer lives as long as the preview that paints on it.
            QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview,
                             [printer, sheet](QPrinter *target) {
                                 QPainter painter(target);
                                 paintWeek(painter, QRectF(0, 0, target->width(), target->height()),
                                           sheet);
                             });
            // Not modal to the program: the bells go on while the week is looked at.
            preview->setWindowModality(Qt::WindowModal);
            preview->show();
        }));
    return command;
}
