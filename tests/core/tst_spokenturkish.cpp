#include "SpokenTurkish.h"

#include <QtTest>

// Announcements as a school writes them, and the words they are spoken with, written out by hand.
class TestSpokenTurkish : public QObject {
    Q_OBJECT
private slots:
    void announcementsAreReadAsPeopleSayThem_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("said");
        const struct {
            const char *written;
            const char *said;
        } rows[] = {
            // Clock times, and the suffix following the last word read.
            {"Öğretmenler kurulu 15.30'da konferans salonunda toplanacaktır.",
             "Öğretmenler kurulu on beş otuzda konferans salonunda toplanacaktır."},
            {"Saat 12.00'de öğle yemeği verilecektir.", "Saat on ikide öğle yemeği verilecektir."},
            {"Toplantı 08.30'da başlayacak.", "Toplantı sekiz otuzda başlayacak."},
            {"Servisler 8:30'da kalkar.", "Servisler sekiz otuzda kalkar."},
            {"Tören 09:05'te başlar.", "Tören dokuz beşte başlar."},
            {"Okul 13.00'te dağılacaktır.", "Okul on üçte dağılacaktır."},
            {"Öğle arası 12.40'tan 13.20'ye kadardır.",
             "Öğle arası on iki kırktan on üç yirmiye kadardır."},
            {"Nöbetçi öğretmenler 07.45'te okulda olsun.",
             "Nöbetçi öğretmenler yedi kırk beşte okulda olsun."},
            {"Servis 16.05'ten sonra kalkmaz.", "Servis on altı beşten sonra kalkmaz."},
            {"Kütüphane 08:00 ile 17:00 arası açıktır.",
             "Kütüphane sekiz ile on yedi arası açıktır."},
            {"Sirenler 09:05:20'de susar.", "Sirenler dokuz beş yirmide susar."},
            {"Ders 08.30-09.10 arasıdır.", "Ders sekiz otuz-dokuz on arasıdır."},
            // A suffix typed in the wrong form, or with a typographic apostrophe, or in capitals.
            {"Saat 12.00'da zil çalar.", "Saat on ikide zil çalar."},
            {"Veliler 15.30’da gelsin.", "Veliler on beş otuzda gelsin."},
            {"SAAT 15.30'DA", "SAAT on beş otuzda"},
            // Dates.
            {"Veli toplantısı 10.11.2026'da yapılacaktır.",
             "Veli toplantısı on Kasım iki bin yirmi altıda yapılacaktır."},
            {"Ödevler 15/12/2026 tarihine kadar teslim edilmelidir.",
             "Ödevler on beş Aralık iki bin yirmi altı tarihine kadar teslim edilmelidir."},
            {"29 Ekim Cumhuriyet Bayramı kutlu olsun.",
             "yirmi dokuz Ekim Cumhuriyet Bayramı kutlu olsun."},
            {"29 Ekim'de okulumuz tatildir.", "yirmi dokuz Ekim'de okulumuz tatildir."},
            {"10 Kasım'da saat 09.05'te saygı duruşunda bulunulacaktır.",
             "on Kasım'da saat dokuz beşte saygı duruşunda bulunulacaktır."},
            {"Okul 1 Eylül 2026'da açılıyor.", "Okul bir Eylül iki bin yirmi altıda açılıyor."},
            // Ordinals.
            {"3. ders sonunda tüm öğrenciler bahçede toplansın.",
             "üçüncü ders sonunda tüm öğrenciler bahçede toplansın."},
            {"10. sınıflar öğle arasında kütüphaneye gelsin.",
             "onuncu sınıflar öğle arasında kütüphaneye gelsin."},
            {"4. ders beden eğitimi dersidir.", "dördüncü ders beden eğitimi dersidir."},
            {"9. sınıf öğrencileri 14.10'da spor salonuna gelsin.",
             "dokuzuncu sınıf öğrencileri on dört onda spor salonuna gelsin."},
            {"2. Dönem 18.01.2027'de başlar.",
             "ikinci Dönem on sekiz Ocak iki bin yirmi yedide başlar."},
            {"23 Nisan'da 6. sınıflar gösteri yapacak.",
             "yirmi üç Nisan'da altıncı sınıflar gösteri yapacak."},
            {"11-A sınıfı 5. derste laboratuvara gelsin.",
             "on bir-A sınıfı beşinci derste laboratuvara gelsin."},
            {"Okulumuzun 60. yıl etkinliği", "Okulumuzun altmışıncı yıl etkinliği"},
            {"2. kattaki 40 kişilik salon", "ikinci kattaki kırk kişilik salon"},
            // Numbers, alone and with a suffix.
            {"Gezimize 25 kişi katılacaktır.", "Gezimize yirmi beş kişi katılacaktır."},
            {"Sınav 2'de başlayacak.", "Sınav ikide başlayacak."},
            {"Cumhuriyetimizin 100'üncü yılını kutluyoruz.",
             "Cumhuriyetimizin yüzüncü yılını kutluyoruz."},
            {"2'nci ve 5'inci sınıflar", "ikinci ve beşinci sınıflar"},
            {"Okulumuz 1923'te kurulmuştur.", "Okulumuz bin dokuz yüz yirmi üçte kurulmuştur."},
            {"Öğrenciler 4'er kişilik gruplar halinde çıksın.",
             "Öğrenciler dörder kişilik gruplar halinde çıksın."},
            {"Yarışma 1 saat 30 dakika sürecektir.", "Yarışma bir saat otuz dakika sürecektir."},
            {"Sonuçlar 3'te açıklanacak, 3'ten sonra itiraz alınmaz.",
             "Sonuçlar üçte açıklanacak, üçten sonra itiraz alınmaz."},
            {"Okulumuzda 1250 öğrenci ve 6'ya kadar sayan 50'nin üstünde minik var.",
             "Okulumuzda bin iki yüz elli öğrenci ve altıya kadar sayan ellinin üstünde minik "
             "var."},
            {"Katılan öğrenci sayısı 25.", "Katılan öğrenci sayısı yirmi beş."},
            {"İletişim: 0312 123 45 67", "İletişim: 0312 yüz yirmi üç kırk beş altmış yedi"},
            // What the synthesiser reads right stays as written.
            {"Bahçeye 1.000 fidan dikilecektir.", "Bahçeye 1.000 fidan dikilecektir."},
            {"Notların %40'ı yazılıdan gelir.", "Notların %40'ı yazılıdan gelir."},
            {"A4 kağıdı ve 2,5 saat", "A4 kağıdı ve 2,5 saat"},
            {"Saat 25.30 diye bir saat yok.", "Saat 25.30 diye bir saat yok."},
            {"Bayramınız kutlu olsun!", "Bayramınız kutlu olsun!"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.written)
                << QString::fromUtf8(row.written) << QString::fromUtf8(row.said);
    }
    void announcementsAreReadAsPeopleSayThem() {
        QFETCH(QString, written);
        QFETCH(QString, said);
        QCOMPARE(SpokenTurkish::spoken(written), said);
    }

    void numbersInWords() {
        const struct {
            qint64 n;
            const char *words;
        } rows[] = {
            {0, "sıfır"},
            {7, "yedi"},
            {100, "yüz"},
            {201, "iki yüz bir"},
            {1000, "bin"},
            {1001, "bin bir"},
            {2026, "iki bin yirmi altı"},
            {11000, "on bir bin"},
            {101000, "yüz bir bin"},
            {1000000, "bir milyon"},
            {2001000, "iki milyon bin"},
            {1000000000, "bir milyar"},
        };
        for (const auto &row : rows)
            QCOMPARE(SpokenTurkish::numberWords(row.n), QString::fromUtf8(row.words));
    }
};

QTEST_APPLESS_MAIN(TestSpokenTurkish)

#include "tst_spokenturkish.moc"
