#include "SpokenTurkish.h"

#include "TurkishText.h"

#include <QDate>
#include <QStringList>

#include <optional>

namespace SpokenTurkish {

namespace {

// A run of digits read aloud, and the number its last word says, which a suffix follows.
struct Reading {
    QString words;
    qint64 last = 0;
    bool wholeNumber = false;
};

bool isApostrophe(QChar c) {
    return c == u'\'' || c == u'\u2019';
}

bool isVowel(QChar c) {
    return QStringLiteral("aeıioöuüâîû").contains(c.toLower());
}

// Two digits, as minutes and seconds are always written.
std::optional<int> twoDigits(const QString &part, int most) {
    if (part.size() != 2 || !part.at(0).isDigit() || !part.at(1).isDigit())
        return std::nullopt;
    const int value = part.toInt();
    return value <= most ? std::optional<int>(value) : std::nullopt;
}

std::optional<Reading> readTime(const QString &run) {
    // A dot or a colon, the same between every part; seconds only after colons, since "09.05.20"
    // is as likely a date.
    const QChar separator = run.contains(u':') ? u':' : u'.';
    const QStringList parts = run.split(separator);
    if (parts.size() < 2 || parts.size() > (separator == u':' ? 3 : 2))
        return std::nullopt;
    const QString &hourText = parts.at(0);
    if (hourText.isEmpty() || hourText.size() > 2)
        return std::nullopt;
    bool ok = false;
    const int hour = hourText.toInt(&ok);
    const auto minute = twoDigits(parts.at(1), 59);
    const auto second = parts.size() == 3 ? twoDigits(parts.at(2), 59) : std::optional<int>(0);
    if (!ok || hour > 23 || !minute || !second)
        return std::nullopt;

    Reading r{numberWords(hour), hour};
    if (*minute || *second) {
        r.words += u' ' + numberWords(*minute);
        r.last = *minute;
    }
    if (*second) {
        r.words += u' ' + numberWords(*second);
        r.last = *second;
    }
    return r;
}

std::optional<Reading> readDate(const QString &run) {
    static const char *const months[] = {"Ocak",   "Şubat",   "Mart",  "Nisan", "Mayıs", "Haziran",
                                         "Temmuz", "Ağustos", "Eylül", "Ekim",  "Kasım", "Aralık"};
    const QChar separator = run.contains(u'/') ? u'/' : u'.';
    const QStringList parts = run.split(separator);
    if (parts.size() != 3 || parts.at(0).size() > 2 || parts.at(1).size() > 2 ||
        parts.at(2).size() != 4)
        return std::nullopt;
    bool okDay = false, okMonth = false, okYear = false;
    const QDate date(parts.at(2).toInt(&okYear), parts.at(1).toInt(&okMonth),
                     parts.at(0).toInt(&okDay));
    if (!okDay || !okMonth || !okYear || !date.isValid())
        return std::nullopt;
    return Reading{numberWords(date.day()) + u' ' + QString::fromUtf8(months[date.month() - 1]) +
                       u' ' + numberWords(date.year()),
                   date.year()};
}

std::optional<Reading> readWholeNumber(const QString &run) {
    // "05" or "0532" is a code or a telephone number, not a quantity; and beyond trillions it is
    // an account number. Both are better read as the synthesiser reads digits.
    if (run.size() > 15 || (run.size() > 1 && run.startsWith(u'0')))
        return std::nullopt;
    for (QChar c : run)
        if (!c.isDigit())
            return std::nullopt;
    const qint64 n = run.toLongLong();
    return Reading{numberWords(n), n, true};
}

std::optional<Reading> readRun(const QString &run) {
    if (auto r = readWholeNumber(run))
        return r;
    if (auto r = readDate(run))
        return r;
    return readTime(run);
}

// The case a typed suffix begins with, from any of its forms, so that the spoken number gets the
// form that fits it: "12.00'da" is "on ikide". Longest forms first: "inci" before "in" before "i".
struct TypedCase {
    const char *form;
    TurkishCase turkishCase;
};
const TypedCase typedCases[] = {
    {"ıncı", TurkishCase::Ordinal},  {"inci", TurkishCase::Ordinal},
    {"uncu", TurkishCase::Ordinal},  {"üncü", TurkishCase::Ordinal},
    {"ncı", TurkishCase::Ordinal},   {"nci", TurkishCase::Ordinal},
    {"ncu", TurkishCase::Ordinal},   {"ncü", TurkishCase::Ordinal},
    {"dan", TurkishCase::Ablative},  {"den", TurkishCase::Ablative},
    {"tan", TurkishCase::Ablative},  {"ten", TurkishCase::Ablative},
    {"nın", TurkishCase::Genitive},  {"nin", TurkishCase::Genitive},
    {"nun", TurkishCase::Genitive},  {"nün", TurkishCase::Genitive},
    {"ın", TurkishCase::Genitive},   {"in", TurkishCase::Genitive},
    {"un", TurkishCase::Genitive},   {"ün", TurkishCase::Genitive},
    {"da", TurkishCase::Locative},   {"de", TurkishCase::Locative},
    {"ta", TurkishCase::Locative},   {"te", TurkishCase::Locative},
    {"ya", TurkishCase::Dative},     {"ye", TurkishCase::Dative},
    {"yı", TurkishCase::Accusative}, {"yi", TurkishCase::Accusative},
    {"yu", TurkishCase::Accusative}, {"yü", TurkishCase::Accusative},
    {"a", TurkishCase::Dative},      {"e", TurkishCase::Dative},
    {"ı", TurkishCase::Accusative},  {"i", TurkishCase::Accusative},
    {"u", TurkishCase::Accusative},  {"ü", TurkishCase::Accusative},
};

// `words` with the suffix typed after the number `n`: its first case in the form that fits the
// last word, the rest as typed ("'daki" keeps its "ki"). A suffix of no known case is kept whole
// ("'lü", "'şer"). "dört" softens to "dörd-" before a vowel, as the written word does.
QString joined(QString words, qint64 n, const QString &typed) {
    QString suffix = typed;
    const QString lower = typed.toLower();
    for (const TypedCase &c : typedCases) {
        const QString form = QString::fromUtf8(c.form);
        if (lower.startsWith(form)) {
            suffix = turkishSuffix(n, c.turkishCase) + lower.mid(form.size());
            break;
        }
    }
    if (!suffix.isEmpty() && isVowel(suffix.front()) && words.endsWith(QStringLiteral("dört")))
        words.back() = u'd';
    return words + suffix;
}

} // namespace

QString numberWords(qint64 n) {
    static const char *const units[] = {"",    "bir",  "iki",  "üç",    "dört",
                                        "beş", "altı", "yedi", "sekiz", "dokuz"};
    static const char *const tens[] = {"",     "on",     "yirmi",  "otuz",   "kırk",
                                       "elli", "altmış", "yetmiş", "seksen", "doksan"};
    static const char *const groups[] = {"", "bin", "milyon", "milyar", "trilyon"};
    if (n == 0)
        return QStringLiteral("sıfır");
    if (n < 0)
        return QStringLiteral("eksi ") + numberWords(-n);

    // Each group of three digits is read alone and named; "yüz" and "bin" take no "bir".
    QStringList words;
    for (int g = 0; n > 0 && g < 5; ++g, n /= 1000) {
        const int group = int(n % 1000);
        if (group == 0)
            continue;
        QStringList part;
        const int hundreds = group / 100;
        if (hundreds > 1)
            part << QString::fromUtf8(units[hundreds]);
        if (hundreds)
            part << QStringLiteral("yüz");
        if (group % 100 >= 10)
            part << QString::fromUtf8(tens[group % 100 / 10]);
        if (group % 10 && !(g == 1 && group == 1))
            part << QString::fromUtf8(units[group % 10]);
        if (g)
            part << QString::fromUtf8(groups[g]);
        words.prepend(part.join(u' '));
    }
    return words.join(u' ');
}

QString spoken(const QString &text) {
    QString out;
    out.reserve(text.size() * 2);
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text.at(i);
        // A number starts at a digit that no letter or sign is written onto ("A4", "%25").
        const bool starts =
            c.isDigit() &&
            (i == 0 || !(text.at(i - 1).isLetterOrNumber() || text.at(i - 1) == u'%'));
        if (!starts) {
            out += c;
            ++i;
            continue;
        }
        // The whole run: digits, and the dots, colons, slashes and commas between them.
        qsizetype end = i;
        while (end < size &&
               (text.at(end).isDigit() || (QStringLiteral(".:/,").contains(text.at(end)) &&
                                           end + 1 < size && text.at(end + 1).isDigit())))
            ++end;
        const QString run = text.mid(i, end - i);
        const std::optional<Reading> reading =
            end < size && text.at(end).isLetter() ? std::nullopt : readRun(run);
        if (!reading) {
            out += run;
            i = end;
            continue;
        }

        if (end + 1 < size && isApostrophe(text.at(end)) && text.at(end + 1).isLetter()) {
            qsizetype suffixEnd = end + 1;
            while (suffixEnd < size && text.at(suffixEnd).isLetter())
                ++suffixEnd;
            out += joined(reading->words, reading->last, text.mid(end + 1, suffixEnd - end - 1));
            i = suffixEnd;
            continue;
        }

        // "3. ders": a whole number with a dot and then a word is an ordinal. A number that ends
        // a sentence before a capital ("sayısı 25. Yarın") reads the same way; a school writes
        // "2. Dönem" far more often.
        qsizetype next = end + 1;
        while (next < size && text.at(next).isSpace())
            ++next;
        if (reading->wholeNumber && end < size && text.at(end) == u'.' && next > end + 1 &&
            next < size && text.at(next).isLetter()) {
            out += joined(reading->words, reading->last,
                          turkishSuffix(reading->last, TurkishCase::Ordinal));
            i = end + 1;
            continue;
        }

        out += reading->words;
        i = end;
    }
    return out;
}

} // namespace SpokenTurkish
