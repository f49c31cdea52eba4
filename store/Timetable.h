#pragma once

// The timetable wizard's rules: a school day's bells made from a few numbers, or the reason they
// cannot be made. No windows and no store here, so the rules are the same wherever they run.

#include "BellStore.h"

#include <QList>
#include <QString>
#include <QTime>

#include <optional>

// One block of lessons: a whole school day, or one shift of a double-shift school.
struct LessonBlock {
    QTime firstStart; // the first lesson's student bell
    int lessons = 8;
    int lessonMinutes = 40;
    int breakMinutes = 10;
    int otherBreakAfter = 0; // a lesson after which the break is otherBreakMinutes; 0 = none
    int otherBreakMinutes = 0;
    int lunchAfter = 0; // a lesson after which lunch follows; 0 = no lunch in this block
    int lunchMinutes = 0;
};

// What the bells of one role play, and for how many seconds (0 = the whole file).
struct BellRole {
    bool enabled = false;
    QString music;
    int seconds = 30;
};

struct TimetablePlan {
    QList<int> days; // GunIDs the bells are made for
    LessonBlock morning;
    std::optional<LessonBlock> afternoon; // the second shift of a double-shift school
    BellRole student;                     // at each lesson's start
    BellRole teacher;                     // teacherAfterMinutes after the student bell
    int teacherAfterMinutes = 2;
    BellRole exit; // at each lesson's end
    // The flag ceremony's rule for the programme (the İstiklal Marşı before the first lesson of
    // the first school day of a week and after the last lesson of its last one): kept with the
    // calendar, which knows those days, and never written as bells.
    bool ceremony = false;
    QString ceremonyMusic;
    int ceremonyBeforeMinutes = 10;
    int ceremonyAfterMinutes = 5;
};

struct Timetable {
    QList<Bell> bells; // by day, then by start; ids are not set
    // Why the bells cannot be saved, for the user; empty when they can. When only a music file
    // is missing the bells are there all the same, so the times can be checked meanwhile.
    QString refusal;
};

Timetable makeTimetable(const TimetablePlan &plan);
