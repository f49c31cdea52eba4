#pragma once

#include <QString>

// What a school writes in an announcement, turned into the words a Turkish speech synthesiser
// reads right. A synthesiser reads "08.30'da" as "sıfır sekiz nokta otuz da" and "3. ders" as "üç
// ders"; people say "sekiz otuzda" and "üçüncü ders". Numbers written in digits become words:
//
//   clock times  "08.30", "8:30", "09:05:20"  the hour, then the minutes (and seconds) unless zero
//   dates        "10.11.2026", "10/11/2026"   "on Kasım iki bin yirmi altı"
//   ordinals     "3. ders", "10. Sınıf"       a whole number, a dot, a space and a word
//   numbers      "25 kişi", "1923"            a whole number standing alone
//
// A suffix after an apostrophe ("'da", "'ten", "'üncü") is joined to the last word read and follows
// it, whatever was typed: "12.00'da" is read "on ikide". Anything else ("1.000", "2,5", "%25",
// "A4", "Ekim'de") is left as written, since the synthesiser reads it right.
namespace SpokenTurkish {

// The whole text, ready to be spoken.
QString spoken(const QString &text);

// A whole number in words: 2026 "iki bin yirmi altı", 100 "yüz", 0 "sıfır".
QString numberWords(qint64 n);

} // namespace SpokenTurkish
