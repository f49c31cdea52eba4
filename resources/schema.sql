-- The weekly bell schedule. Readers take columns by position, so the order is part of the format.
CREATE TABLE Dersler (
    KayitID INTEGER PRIMARY KEY AUTOINCREMENT,
    GunID INTEGER NOT NULL CHECK (GunID BETWEEN 0 AND 6),
    DersSaati TEXT,
    DersBaslama TEXT,
    Muzik TEXT,
    Sure INTEGER
);
CREATE INDEX DerslerGunID ON Dersler (GunID);
