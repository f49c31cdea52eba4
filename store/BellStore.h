#pragma once

#include "ScheduleQuery.h"

#include <QList>
#include <QString>
#include <QTime>
#include <QVariant>

#include <optional>

// One row of Dersler: a bell on a weekday. The start and the duration are kept as stored, since
// a row written by other means may hold a text that is not a time or not a number; the readers
// decide what such a row means for them.
struct Bell {
    int id = 0;    // KayitID; not used when adding
    int gunId = 0; // 0 = Monday .. 6 = Sunday
    QString name;  // DersSaati, the bell's name
    QVariant start; // DersBaslama
    QString music; // a file name in Muzikler
    QVariant sure; // seconds to play; 0 = the whole music

    // The start as a time of day; invalid when the stored text is not one.
    QTime startTime() const;
    // The duration as a number; nothing when the stored text is not one.
    std::optional<int> duration() const;
};

// The schedule in its own terms: the bells of a day, one bell, and the writes on them. Every
// failure is an EStoreError with the store's reason; the file is opened afresh after a failure
// and when it is replaced, so a store that comes back is used without a restart.
class BellStore {
public:
    // The schedule file to read and write from the next use on; nothing is read yet.
    void setFile(const QString &databaseFile) { m_query.SetConnection(databaseFile); }
    // Uses that file and reads it once, so a missing or foreign file is told at once.
    void open(const QString &databaseFile);

    // The bells of one weekday, in stored order.
    QList<Bell> dayBells(int gunId);
    // The bell with that id; nothing when it is gone.
    std::optional<Bell> bell(int id);

    // Adds the bells together: all of them are written or none.
    void add(const QList<Bell> &bells);
    // Writes every field of the bell with that id; false when no such bell exists any more.
    bool update(const Bell &bell);
    void remove(int id);

    using ChangeStamp = ScheduleQuery::ChangeStamp;
    // Tells cheaply whether anything may have changed since the stamp was taken.
    ChangeStamp changes() { return m_query.Changes(); }

private:
    Bell currentRow() const;

    ScheduleQuery m_query;
};
