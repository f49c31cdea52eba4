#pragma once

#include <QString>

// Statements, the SQL run against Dersler. Every value is a bound "?" parameter, so names and file
// names with quotes, semicolons or SQL words are stored exactly as typed.
namespace Statements {
// The query object's first statement, run once at start-up.
inline const QString Baslangic = QStringLiteral("SELECT * FROM Dersler WHERE GunID=?");
// One day's bells for the list: GunID.
inline const QString GunListesi = QStringLiteral("SELECT * FROM Dersler WHERE GunID=? ");
// One bell for the editor: KayitID.
inline const QString TekKayit = QStringLiteral("SELECT * FROM Dersler WHERE KayitID=?");
// A new bell: GunID, DersSaati, DersBaslama, Muzik, Sure.
inline const QString YeniZil = QStringLiteral(
    "INSERT INTO Dersler (GunID,DersSaati,DersBaslama,Muzik,Sure) VALUES(?,?,?,?,?)");
// An edited bell, music included: GunID, DersSaati, DersBaslama, Muzik, Sure, KayitID.
inline const QString ZilGuncelle = QStringLiteral(
    "UPDATE Dersler SET GunID=?,DersSaati=?,DersBaslama=?,Muzik=?,Sure=? WHERE KayitID=?");
// KayitID.
inline const QString ZilSil = QStringLiteral("DELETE FROM Dersler WHERE KayitID=?");
// Whole days at once: GunID.
inline const QString GunuSil = QStringLiteral("DELETE FROM Dersler WHERE GunID=?");
// A bell's new start: DersBaslama, KayitID.
inline const QString ZilSaati = QStringLiteral("UPDATE Dersler SET DersBaslama=? WHERE KayitID=?");

// The bell record, added to a schedule that has none; Dersler is not touched.
inline const QString KayitTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS ZilGecmisi (KayitNo INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Tarih TEXT NOT NULL, KayitID INTEGER, DersSaati TEXT, DersBaslama TEXT, Muzik TEXT, "
    "Sonuc TEXT NOT NULL, GecikmeMs INTEGER, Aciklama TEXT, YedekSes INTEGER NOT NULL DEFAULT 0, "
    "Zaman TEXT NOT NULL)");
inline const QString KayitSirasi =
    QStringLiteral("CREATE INDEX IF NOT EXISTS ZilGecmisiTarih ON ZilGecmisi (Tarih, KayitID)");
// Whether a table of that name is in the file: the name.
inline const QString TabloVarMi =
    QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?");
// Tarih, KayitID, DersSaati, DersBaslama, Muzik, Sonuc, GecikmeMs, Aciklama, YedekSes, Zaman.
inline const QString KayitEkle = QStringLiteral(
    "INSERT INTO ZilGecmisi (Tarih,KayitID,DersSaati,DersBaslama,Muzik,Sonuc,GecikmeMs,Aciklama,"
    "YedekSes,Zaman) VALUES(?,?,?,?,?,?,?,?,?,?)");
// From and to, both yyyy-MM-dd; newest first.
inline const QString KayitAraligi = QStringLiteral(
    "SELECT Tarih,KayitID,DersSaati,DersBaslama,Muzik,Sonuc,GecikmeMs,Aciklama,YedekSes,Zaman "
    "FROM ZilGecmisi WHERE Tarih BETWEEN ? AND ? ORDER BY Tarih DESC, DersBaslama DESC, "
    "KayitNo DESC");
// A date's record lines: Tarih.
inline const QString GununKayitlari =
    QStringLiteral("SELECT KayitID,Sonuc FROM ZilGecmisi WHERE Tarih=?");

// Programmes other than Normal (whose bells are Dersler's), added beside Dersler when the first
// is made, so that an older program still rings Normal's bells from the same file.
inline const QString ProgramTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS Programlar (ProgramID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Ad TEXT NOT NULL UNIQUE)");
// Its columns start as Dersler's do, so a row reads the same way.
inline const QString ProgramZilTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS ProgramDersleri (KayitID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "GunID INTEGER, DersSaati TEXT, DersBaslama TEXT, Muzik TEXT, Sure INTEGER, "
    "ProgramID INTEGER NOT NULL)");
inline const QString Programlar = QStringLiteral("SELECT ProgramID,Ad FROM Programlar ORDER BY Ad");
// Ad.
inline const QString YeniProgram = QStringLiteral("INSERT INTO Programlar (Ad) VALUES(?)");
inline const QString SonEklenen = QStringLiteral("SELECT last_insert_rowid()");
// Ad, ProgramID.
inline const QString ProgramAdi = QStringLiteral("UPDATE Programlar SET Ad=? WHERE ProgramID=?");
// ProgramID.
inline const QString ProgramSil = QStringLiteral("DELETE FROM Programlar WHERE ProgramID=?");
inline const QString ProgramZilleriniSil =
    QStringLiteral("DELETE FROM ProgramDersleri WHERE ProgramID=?");
// ProgramID, GunID.
inline const QString ProgramGunListesi =
    QStringLiteral("SELECT KayitID,GunID,DersSaati,DersBaslama,Muzik,Sure FROM ProgramDersleri "
                   "WHERE ProgramID=? AND GunID=?");
// KayitID.
inline const QString ProgramTekKayit =
    QStringLiteral("SELECT KayitID,GunID,DersSaati,DersBaslama,Muzik,Sure,ProgramID FROM "
                   "ProgramDersleri WHERE KayitID=?");
// GunID, DersSaati, DersBaslama, Muzik, Sure, ProgramID.
inline const QString ProgramYeniZil =
    QStringLiteral("INSERT INTO ProgramDersleri (GunID,DersSaati,DersBaslama,Muzik,Sure,"
                   "ProgramID) VALUES(?,?,?,?,?,?)");
// GunID, DersSaati, DersBaslama, Muzik, Sure, KayitID.
inline const QString ProgramZilGuncelle =
    QStringLiteral("UPDATE ProgramDersleri SET GunID=?,DersSaati=?,DersBaslama=?,Muzik=?,Sure=? "
                   "WHERE KayitID=?");
// KayitID.
inline const QString ProgramZilSil = QStringLiteral("DELETE FROM ProgramDersleri WHERE KayitID=?");

// The one building of a school sharing its schedule that a row of Dersler, ProgramDersleri,
// Anonslar or TekSeferlik sounds in, by its table and row id; a row without one sounds in every
// building.
inline const QString OrtakBinaTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS OrtakBina (Tablo TEXT NOT NULL, KayitID INTEGER NOT NULL, "
    "BinaID INTEGER NOT NULL, PRIMARY KEY (Tablo, KayitID))");
// Tablo, KayitID.
inline const QString OrtakBinaOku =
    QStringLiteral("SELECT BinaID FROM OrtakBina WHERE Tablo=? AND KayitID=?");
// Tablo, KayitID, BinaID.
inline const QString OrtakBinaYaz =
    QStringLiteral("INSERT OR REPLACE INTO OrtakBina (Tablo,KayitID,BinaID) VALUES(?,?,?)");
// Tablo, KayitID.
inline const QString OrtakBinaSil =
    QStringLiteral("DELETE FROM OrtakBina WHERE Tablo=? AND KayitID=?");

// One-off bells, each on one date at one second; added beside Dersler when the first is made.
inline const QString TekSeferlikTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS TekSeferlik (KayitID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Tarih TEXT NOT NULL, DersSaati TEXT, DersBaslama TEXT, Muzik TEXT, Sure INTEGER)");
// From and to, yyyy-MM-dd.
inline const QString TekSeferlikAraligi =
    QStringLiteral("SELECT KayitID,Tarih,DersSaati,DersBaslama,Muzik,Sure FROM TekSeferlik "
                   "WHERE Tarih BETWEEN ? AND ? ORDER BY Tarih, DersBaslama");
// KayitID.
inline const QString TekSeferlikKayit =
    QStringLiteral("SELECT KayitID,Tarih,DersSaati,DersBaslama,Muzik,Sure FROM TekSeferlik "
                   "WHERE KayitID=?");
// Tarih, DersSaati, DersBaslama, Muzik, Sure.
inline const QString TekSeferlikEkle = QStringLiteral(
    "INSERT INTO TekSeferlik (Tarih,DersSaati,DersBaslama,Muzik,Sure) VALUES(?,?,?,?,?)");
// Tarih, DersSaati, DersBaslama, Muzik, Sure, KayitID.
inline const QString TekSeferlikGuncelle = QStringLiteral(
    "UPDATE TekSeferlik SET Tarih=?,DersSaati=?,DersBaslama=?,Muzik=?,Sure=? WHERE KayitID=?");
inline const QString TekSeferlikSil = QStringLiteral("DELETE FROM TekSeferlik WHERE KayitID=?");

// Announcements, added beside Dersler when the first is made. One of a date has Tarih; one of a
// weekday has ProgramID and GunID and no Tarih.
inline const QString AnonsTablosu = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS Anonslar (AnonsID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Ad TEXT NOT NULL, Metin TEXT, Dosya TEXT NOT NULL, ProgramID INTEGER, GunID INTEGER, "
    "Tarih TEXT, Saat TEXT NOT NULL, Sure INTEGER NOT NULL DEFAULT 0)");
inline const QString AnonsListesi =
    QStringLiteral("SELECT AnonsID,Ad,Metin,Dosya,ProgramID,GunID,Tarih,Saat,Sure FROM Anonslar "
                   "ORDER BY Tarih IS NOT NULL, Tarih, ProgramID, GunID, Saat");
// Tarih (yyyy-MM-dd), ProgramID, GunID.
inline const QString GununAnonslari =
    QStringLiteral("SELECT AnonsID,Ad,Metin,Dosya,ProgramID,GunID,Tarih,Saat,Sure FROM Anonslar "
                   "WHERE Tarih=? OR (Tarih IS NULL AND ProgramID=? AND GunID=?) ORDER BY Saat");
// AnonsID.
inline const QString AnonsKayit =
    QStringLiteral("SELECT AnonsID,Ad,Metin,Dosya,ProgramID,GunID,Tarih,Saat,Sure FROM Anonslar "
                   "WHERE AnonsID=?");
// Ad, Metin, Dosya, ProgramID, GunID, Tarih, Saat, Sure.
inline const QString AnonsEkle =
    QStringLiteral("INSERT INTO Anonslar (Ad,Metin,Dosya,ProgramID,GunID,Tarih,Saat,Sure) "
                   "VALUES(?,?,?,?,?,?,?,?)");
// Ad, Metin, Dosya, ProgramID, GunID, Tarih, Saat, Sure, AnonsID.
inline const QString AnonsGuncelle =
    QStringLiteral("UPDATE Anonslar SET Ad=?,Metin=?,Dosya=?,ProgramID=?,GunID=?,Tarih=?,Saat=?,"
                   "Sure=? WHERE AnonsID=?");
inline const QString AnonsSil = QStringLiteral("DELETE FROM Anonslar WHERE AnonsID=?");
} // namespace Statements
