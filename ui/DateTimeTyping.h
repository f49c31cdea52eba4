#pragma once

class QDateTimeEdit;

// How every date and time field of the program takes typing: a click selects the part clicked
// (hours, minutes, day, month, year), so digits typed then replace the value from there on, as
// the bell editor's start time does. Date fields also keep to plausible years, so a slip of the
// keyboard cannot give a date centuries away.
void makeTypable(QDateTimeEdit *field);
