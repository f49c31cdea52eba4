#pragma once

// Schedule helpers: the weekday names, the time texts and stored times, and the schedule file.

#include <QStringList>
#include <QTime>
#include <QVariant>

// The weekday names shown by both day selectors; the index is the GunID.
QStringList GunAdlari();
// The names of the given days, joined with commas ("Pazartesi, Salı").
QString GunAdlariOf(const QList<int> &gunIds);

// Today's weekday index, 0 = Monday .. 6 = Sunday, read afresh from the program clock.
int BugunGunID();
int GunIDOf(const QDate &date);

// A time of day in the locale's long time format, without the time-zone part. The one rendering
// used for the clock label and the list; which bell rings never depends on it.
QString TimeText(const QTime &time);

// The stored start time of a row (column DersBaslama) as a time of day; invalid when the stored
// text is not a time.
QTime StoredStartTime(const QVariant &stored);

// The start time of a row as time text; empty when the stored value is not a time.
QString StartTimeText(const QVariant &stored);

// The form DersBaslama is written in: 24-hour HH:MM:SS, as SQLite's time functions read it.
QString StoredTimeForm(const QTime &time);

// The schedule file in the program folder.
QString DatabaseFile();
// The schedule file of a data folder given by name.
QString DatabaseFileIn(const QString &folder);
