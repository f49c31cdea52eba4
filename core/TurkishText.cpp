#include "TurkishText.h"

#include <QStringList>

namespace {
// What decides a suffix about the last word a number is read with.
struct LastWord {
    QChar vowel;      // its last vowel
    bool endsInVowel; // "iki", "altı", "yedi", "yirmi", "elli"
    bool voiceless;   // ends in f, s, t, k, ç, ş, h, p: "üç", "dört", "beş", "kırk"
    bool softens;     // "dört" becomes "dörd-" before a vowel
};

LastWord lastWord(qint64 n) {
    // bir iki üç dört beş altı yedi sekiz dokuz
    static const LastWord units[] = {
        {u'ı', false, false, false}, // sıfır
        {u'i', false, false, false}, {u'i', true, false, false},  {u'ü', false, true, false},
        {u'ö', false, true, true},   {u'e', false, true, false},  {u'ı', true, false, false},
        {u'i', true, false, false},  {u'i', false, false, false}, {u'u', false, false, false},
    };
    // on yirmi otuz kırk elli altmış yetmiş seksen doksan
    static const LastWord tens[] = {
        {},
        {u'o', false, false, false},
        {u'i', true, false, false},
        {u'u', false, false, false},
        {u'ı', false, true, false},
        {u'i', true, false, false},
        {u'ı', false, true, false},
        {u'i', false, true, false},
        {u'e', false, false, false},
        {u'a', false, false, false},
    };
    static const LastWord hundred{u'ü', false, false, false};  // yüz
    static const LastWord thousand{u'i', false, false, false}; // bin
    static const LastWord million{u'o', false, false, false};  // milyon
    static const LastWord billion{u'a', false, false, false};  // milyar

    if (n <= 0)
        return units[0];
    if (n % 10)
        return units[n % 10];
    if (n % 100)
        return tens[(n % 100) / 10];
    if (n % 1000)
        return hundred;
    if (n % 1000000)
        return thousand;
    if (n % 1000000000)
        return million;
    return billion;
}

bool isFront(QChar vowel) {
    return vowel == u'e' || vowel == u'i' || vowel == u'ö' || vowel == u'ü';
}

// The four-way vowel of -i, -in: ı after a/ı, i after e/i, u after o/u, ü after ö/ü.
QChar narrowVowel(QChar vowel) {
    switch (vowel.unicode()) {
    case u'a':
    case u'ı':
        return u'ı';
    case u'e':
    case u'i':
        return u'i';
    case u'o':
    case u'u':
        return u'u';
    default:
        return u'ü';
    }
}
} // namespace

QString turkishSuffix(qint64 n, TurkishCase c) {
    const LastWord w = lastWord(n);
    const QChar wide = isFront(w.vowel) ? u'e' : u'a';
    const QChar narrow = narrowVowel(w.vowel);
    const QChar d = w.voiceless ? u't' : u'd';
    switch (c) {
    case TurkishCase::Locative:
        return QString(d) + wide;
    case TurkishCase::Ablative:
        return QString(d) + wide + u'n';
    case TurkishCase::Dative:
        return w.endsInVowel ? QString(u'y') + wide : QString(wide);
    case TurkishCase::Accusative:
        return w.endsInVowel ? QString(u'y') + narrow : QString(narrow);
    case TurkishCase::Genitive:
        return w.endsInVowel ? QString(u'n') + narrow + u'n' : QString(narrow) + u'n';
    case TurkishCase::Ordinal:
        return w.endsInVowel ? QStringLiteral("nc") + narrow
                             : QString(narrow) + QStringLiteral("nc") + narrow;
    }
    return {};
}

QString withTurkishSuffix(const QString &text, TurkishCase c) {
    if (text.isEmpty() || !text.back().isDigit())
        return text;
    // The number the text ends in; in a time, the last part that is not zero.
    qsizetype start = text.size();
    while (start > 0 && (text.at(start - 1).isDigit() || text.at(start - 1) == u':'))
        --start;
    const QStringList parts = text.mid(start).split(u':', Qt::SkipEmptyParts);
    qint64 n = 0;
    for (qsizetype i = parts.size() - 1; i >= 0; --i) {
        n = parts.at(i).toLongLong();
        if (n != 0)
            break;
    }
    return text + u'\'' + turkishSuffix(n, c);
}
