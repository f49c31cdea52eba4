#pragma once

#include <QString>

// Turkish case suffixes after numbers and times written in digits. A suffix follows the sound of
// the last word the number is read with ("13:00" is read "on üç", "15:45" "on beş kırk beş"):
// its vowel harmony, d/t after a voiceless consonant, a buffer y after a vowel, and "dört"
// softening to "dörd-". The result carries the apostrophe: "13:00'te", "12:30'dan", "4'e".

enum class TurkishCase {
    Locative,   // -de/-da/-te/-ta: "13:00'te"
    Ablative,   // -den/-dan/-ten/-tan: "13:00'ten"
    Dative,     // -e/-a/-ye/-ya: "13:00'e"
    Accusative, // -i/-ı/-u/-ü (-yi…): "13:00'ü"
    Genitive,   // -in/-ın/-un/-ün (-nin…): "13:00'ün"
    Ordinal,    // -inci/-ıncı/-uncu/-üncü (-nci…): "3'üncü", "2'nci"
};

// The suffix alone, without the apostrophe, for the whole number `n` read aloud (0 and up).
QString turkishSuffix(qint64 n, TurkishCase c);

// `text` with the suffix of the number it ends in, after an apostrophe. A time ("08:30",
// "13:00", "07:05:20") is read by its last part that is not zero, an hour alone by the hour.
// Text that does not end in a digit is returned unchanged.
QString withTurkishSuffix(const QString &text, TurkishCase c);
