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
} // namespace Statements
