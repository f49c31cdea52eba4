-- The shared place of the schools' schedules, in PostgreSQL. Run by the server's owner (a
-- superuser: psql -v ON_ERROR_STOP=1 -d zil -f ortak.sql) when the server is set up, and again
-- with each new version of the program: what is missing is made, what is there is brought up to
-- date and its rows are kept, all in one transaction. Each computer logs in with a role of its
-- own, made with zil_bilgisayar_ekle(). Computers read their own school's rows only and add bell
-- records only as themselves; the schedule is changed only by members of zil_yonetici. Row-level
-- security holds that on the server, so a computer's password cannot reach another school.

-- The program's own sounds' folder is named below in UTF-8.
SET client_encoding = 'UTF8';
SET client_min_messages = warning;
BEGIN;

DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zil_bilgisayar') THEN
        CREATE ROLE zil_bilgisayar NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zil_yonetici') THEN
        CREATE ROLE zil_yonetici NOLOGIN IN ROLE zil_bilgisayar;
    END IF;
END
$$;

CREATE TABLE IF NOT EXISTS okul (
    okul_id serial PRIMARY KEY,
    ad text NOT NULL
);

CREATE TABLE IF NOT EXISTS bina (
    bina_id serial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    ad text NOT NULL
);

-- Which school (and building) a login role rings for. Only the owner writes it.
CREATE TABLE IF NOT EXISTS uye (
    rol name PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    bina_id integer REFERENCES bina ON DELETE SET NULL
);

-- Programmes other than Normal (program_id 0, which every school has without a row).
CREATE TABLE IF NOT EXISTS program (
    program_id serial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    ad text NOT NULL,
    UNIQUE (okul_id, ad)
);

-- A bell of a programme on a weekday; bina_id NULL rings in every building of the school.
CREATE TABLE IF NOT EXISTS zil (
    zil_id bigserial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    program_id integer NOT NULL DEFAULT 0,
    bina_id integer REFERENCES bina ON DELETE CASCADE,
    gun_id integer NOT NULL CHECK (gun_id BETWEEN 0 AND 6),
    ders_saati text,
    baslama text,
    muzik text,
    sure integer
);
CREATE INDEX IF NOT EXISTS zil_okul ON zil (okul_id);

-- The school year, the holidays switched off, confirmed religious dates, ceremonies, the name.
CREATE TABLE IF NOT EXISTS takvim_ayar (
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    anahtar text NOT NULL,
    deger text NOT NULL,
    PRIMARY KEY (okul_id, anahtar)
);

-- The school's own dated entries: holidays, half days, make-up days, special programmes.
CREATE TABLE IF NOT EXISTS takvim_kayit (
    kayit_id bigserial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    tur text NOT NULL,
    ad text NOT NULL,
    baslangic date NOT NULL,
    bitis date NOT NULL,
    saat text,
    gun_id integer
);

-- Announcements, of a weekday of a programme or of one date; bina_id NULL: every building. The
-- date is kept as the copy writes it, like a bell's start, so no row a copy holds is refused.
CREATE TABLE IF NOT EXISTS anons (
    anons_id bigserial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    bina_id integer REFERENCES bina ON DELETE CASCADE,
    ad text NOT NULL,
    metin text,
    dosya text NOT NULL,
    program_id integer,
    gun_id integer,
    tarih text,
    saat text NOT NULL,
    sure integer NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS anons_okul ON anons (okul_id);

-- Bells of one date only ("Tek seferlik"); bina_id NULL: every building.
CREATE TABLE IF NOT EXISTS tek_seferlik (
    kayit_id bigserial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    bina_id integer REFERENCES bina ON DELETE CASCADE,
    tarih text NOT NULL,
    ders_saati text,
    baslama text,
    muzik text,
    sure integer
);
CREATE INDEX IF NOT EXISTS tek_seferlik_okul ON tek_seferlik (okul_id);

-- The music the school's rows name, by its path under Muzikler ('/' between folders), so a
-- computer that lacks a file fetches it once instead of ringing the fallback tone. The checks
-- keep a name inside Muzikler; the computers check again, since they trust no row.
CREATE TABLE IF NOT EXISTS muzik (
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    ad text NOT NULL CONSTRAINT muzik_ad_icerde
        CHECK (ad <> '' AND ad !~ '^/' AND strpos(ad, E'\\') = 0
               AND ad !~ '(^|/)\.{1,2}(/|$)' AND ad !~ '//'),
    sha256 text NOT NULL CHECK (sha256 ~ '^[0-9a-f]{64}$'),
    boyut bigint NOT NULL,
    icerik bytea NOT NULL,
    PRIMARY KEY (okul_id, ad),
    CHECK (boyut = octet_length(icerik))
);

-- Moves on every change to a school's schedule; a copy knows which one it holds, and an edit
-- made on an older one is refused instead of overwriting what another manager saved.
CREATE TABLE IF NOT EXISTS surum (
    okul_id integer PRIMARY KEY REFERENCES okul ON DELETE CASCADE,
    surum bigint NOT NULL DEFAULT 0
);

-- Every computer's bell record. The computer, the file its lines come from (kaynak), the line's
-- number there and the moment it was written make a line unique, so an upload sent again after
-- a cut is taken once, while a new file, or one restored from a backup, which numbers its lines
-- again from an older number, loses none.
CREATE TABLE IF NOT EXISTS zil_kaydi (
    bilgisayar name NOT NULL DEFAULT session_user,
    kaynak text NOT NULL DEFAULT '',
    kayit_no bigint NOT NULL,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    tarih date NOT NULL,
    zil_id bigint,
    ders_saati text,
    baslama text,
    muzik text,
    sonuc text NOT NULL,
    gecikme_ms integer,
    aciklama text,
    yedek_ses boolean NOT NULL DEFAULT false,
    zaman text NOT NULL,
    alindi timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (bilgisayar, kaynak, kayit_no, zaman)
);

-- The caller's school and building. session_user, since inside these functions current_user is
-- their owner.
CREATE OR REPLACE FUNCTION zil_okulum() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public
    AS $$ SELECT okul_id FROM uye WHERE rol = session_user $$;
CREATE OR REPLACE FUNCTION zil_binam() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public
    AS $$ SELECT bina_id FROM uye WHERE rol = session_user $$;
CREATE OR REPLACE FUNCTION zil_yonetici_mi() RETURNS boolean
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public
    AS $$ SELECT pg_has_role(session_user, 'zil_yonetici', 'MEMBER') $$;

-- Holds the school's version until the caller's transaction ends and says whether it is still
-- the one expected: two managers saving at once are put in a row, and the second is told.
CREATE OR REPLACE FUNCTION zil_surum_tut(beklenen bigint) RETURNS boolean
    LANGUAGE plpgsql VOLATILE SECURITY DEFINER SET search_path = public
    AS $$
DECLARE
    simdiki bigint;
BEGIN
    IF NOT zil_yonetici_mi() THEN
        RAISE EXCEPTION 'zil programini degistirme yetkisi yok' USING ERRCODE = '42501';
    END IF;
    SELECT surum INTO simdiki FROM surum WHERE okul_id = zil_okulum() FOR UPDATE;
    RETURN simdiki = beklenen;
END
$$;

-- Every change moves the school's version and tells the listening computers; a notice is sent
-- at commit, once per transaction and school.
CREATE OR REPLACE FUNCTION zil_degisti() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public
    AS $$
DECLARE
    okul integer;
BEGIN
    IF TG_OP = 'DELETE' THEN
        okul := OLD.okul_id;
    ELSE
        okul := NEW.okul_id;
    END IF;
    UPDATE surum SET surum = surum + 1 WHERE okul_id = okul;
    PERFORM pg_notify('zil_degisti', okul::text);
    RETURN NULL;
END
$$;

CREATE OR REPLACE FUNCTION zil_okul_eklendi() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public
    AS $$
BEGIN
    INSERT INTO surum (okul_id) VALUES (NEW.okul_id);
    RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER okul_surum AFTER INSERT ON okul FOR EACH ROW EXECUTE FUNCTION zil_okul_eklendi();

CREATE OR REPLACE TRIGGER program_degisti AFTER INSERT OR UPDATE OR DELETE ON program
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE OR REPLACE TRIGGER zil_degisti AFTER INSERT OR UPDATE OR DELETE ON zil
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE OR REPLACE TRIGGER takvim_ayar_degisti AFTER INSERT OR UPDATE OR DELETE ON takvim_ayar
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE OR REPLACE TRIGGER takvim_kayit_degisti AFTER INSERT OR UPDATE OR DELETE ON takvim_kayit
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE OR REPLACE TRIGGER anons_degisti AFTER INSERT OR UPDATE OR DELETE ON anons
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE OR REPLACE TRIGGER tek_seferlik_degisti AFTER INSERT OR UPDATE OR DELETE ON tek_seferlik
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE OR REPLACE TRIGGER muzik_degisti AFTER INSERT OR UPDATE OR DELETE ON muzik
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();

-- Only the trigger above tells the computers of a change: it runs as the schema's owner, who
-- alone may call pg_notify in this database. The NOTIFY command cannot be taken from anyone, so
-- the computers also take a notice only as a reason to look at their school's version.
ALTER FUNCTION zil_degisti() OWNER TO CURRENT_USER;
DO $$
BEGIN
    REVOKE EXECUTE ON FUNCTION pg_notify(text, text) FROM PUBLIC;
    EXECUTE format('GRANT EXECUTE ON FUNCTION pg_notify(text, text) TO %I', current_user);
    IF has_function_privilege('zil_bilgisayar', 'pg_notify(text, text)', 'EXECUTE') THEN
        RAISE WARNING 'pg_notify herkese acik kaldi: bu betigi bir superuser calistirmali';
    END IF;
END
$$;

-- A record line's texts, each cut to this many characters: a line of any size would otherwise
-- be kept, and read by every reader of the school's record. Cut rather than refused, so that a
-- computer's long line never holds up the lines after it.
CREATE OR REPLACE FUNCTION zil_kaydi_metin_siniri() RETURNS integer
    LANGUAGE sql IMMUTABLE AS $$ SELECT 2000 $$;
CREATE OR REPLACE FUNCTION zil_kaydi_kisalt(metin text) RETURNS text
    LANGUAGE sql IMMUTABLE SET search_path = public
    AS $$
SELECT CASE WHEN char_length(metin) <= zil_kaydi_metin_siniri() THEN metin
            ELSE left(metin, zil_kaydi_metin_siniri() - 1) || '…' END
$$;
CREATE OR REPLACE FUNCTION zil_kaydi_sinirla() RETURNS trigger
    LANGUAGE plpgsql SET search_path = public
    AS $$
BEGIN
    NEW.kaynak := zil_kaydi_kisalt(NEW.kaynak);
    NEW.ders_saati := zil_kaydi_kisalt(NEW.ders_saati);
    NEW.baslama := zil_kaydi_kisalt(NEW.baslama);
    NEW.muzik := zil_kaydi_kisalt(NEW.muzik);
    NEW.sonuc := zil_kaydi_kisalt(NEW.sonuc);
    NEW.aciklama := zil_kaydi_kisalt(NEW.aciklama);
    NEW.zaman := zil_kaydi_kisalt(NEW.zaman);
    RETURN NEW;
END
$$;
CREATE OR REPLACE TRIGGER zil_kaydi_sinirla BEFORE INSERT OR UPDATE ON zil_kaydi
    FOR EACH ROW EXECUTE FUNCTION zil_kaydi_sinirla();

-- Adds a rule to a table unless it is there. New rows obey it at once; rows already there that
-- break it are kept and told of, for the owner to mend or delete.
CREATE FUNCTION pg_temp.kural_ekle(tablo regclass, ad name, tanim text) RETURNS void
    LANGUAGE plpgsql
    AS $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_constraint WHERE conrelid = tablo AND conname = ad) THEN
        EXECUTE format('ALTER TABLE %s ADD CONSTRAINT %I %s NOT VALID', tablo, ad, tanim);
    END IF;
    IF EXISTS (SELECT 1 FROM pg_constraint
               WHERE conrelid = tablo AND conname = ad AND NOT convalidated) THEN
        BEGIN
            EXECUTE format('ALTER TABLE %s VALIDATE CONSTRAINT %I', tablo, ad);
        EXCEPTION WHEN check_violation OR foreign_key_violation THEN
            RAISE WARNING '% tablosunda % kuralina uymayan eski satirlar var; yeni satirlar '
                          'kurala uyuyor, eskileri elle duzeltin ya da silin', tablo, ad;
        END;
    END IF;
END
$$;

-- Lines kept before there was a bound are cut as new ones are.
UPDATE zil_kaydi SET aciklama = aciklama
    WHERE greatest(char_length(kaynak), char_length(ders_saati), char_length(baslama),
                   char_length(muzik), char_length(sonuc), char_length(aciklama),
                   char_length(zaman)) > zil_kaydi_metin_siniri();
-- The program's own sounds are made by every computer itself and never taken from here, so
-- that no row can change what a siren sounds like. Copies an earlier version sent up are of no
-- use to any computer and go.
DELETE FROM muzik WHERE split_part(ad, '/', 1) = 'Programın sesleri';
CREATE UNIQUE INDEX IF NOT EXISTS bina_okulu ON bina (bina_id, okul_id);
DO $$
BEGIN
    PERFORM pg_temp.kural_ekle('zil_kaydi', 'zil_kaydi_metin_siniri',
        'CHECK (greatest(char_length(kaynak), char_length(ders_saati), char_length(baslama), '
        'char_length(muzik), char_length(sonuc), char_length(aciklama), char_length(zaman)) '
        '<= zil_kaydi_metin_siniri())');
    -- No file larger than the computers take.
    PERFORM pg_temp.kural_ekle('muzik', 'muzik_boyut_siniri', 'CHECK (boyut <= 64 * 1024 * 1024)');
    PERFORM pg_temp.kural_ekle('muzik', 'muzik_programin_sesleri_degil',
        'CHECK (split_part(ad, ''/'', 1) <> ''Programın sesleri'')');
    -- A row for one building names a building of its own school.
    PERFORM pg_temp.kural_ekle(tablo::regclass, (tablo || '_bina_okulun')::name,
        'FOREIGN KEY (bina_id, okul_id) REFERENCES bina (bina_id, okul_id) ON DELETE CASCADE')
        FROM unnest(ARRAY['zil', 'anons', 'tek_seferlik']) AS tablo;
END
$$;

-- A computer's login role: `rol` with `parola`, ringing for the school and building (NULL: the
-- school's bells for all buildings only); a manager may also change the school's schedule.
CREATE OR REPLACE FUNCTION zil_bilgisayar_ekle(rol name, parola text, okul integer,
                                               bina integer, yonetici boolean DEFAULT false)
    RETURNS void
    LANGUAGE plpgsql
    AS $$
BEGIN
    EXECUTE format('CREATE ROLE %I LOGIN PASSWORD %L IN ROLE zil_bilgisayar', rol, parola);
    IF yonetici THEN
        EXECUTE format('GRANT zil_yonetici TO %I', rol);
    END IF;
    INSERT INTO uye (rol, okul_id, bina_id) VALUES (rol, okul, bina);
END
$$;
REVOKE ALL ON FUNCTION zil_bilgisayar_ekle(name, text, integer, integer, boolean) FROM PUBLIC;

ALTER TABLE okul ENABLE ROW LEVEL SECURITY;
ALTER TABLE bina ENABLE ROW LEVEL SECURITY;
ALTER TABLE uye ENABLE ROW LEVEL SECURITY;
ALTER TABLE program ENABLE ROW LEVEL SECURITY;
ALTER TABLE zil ENABLE ROW LEVEL SECURITY;
ALTER TABLE takvim_ayar ENABLE ROW LEVEL SECURITY;
ALTER TABLE takvim_kayit ENABLE ROW LEVEL SECURITY;
ALTER TABLE anons ENABLE ROW LEVEL SECURITY;
ALTER TABLE tek_seferlik ENABLE ROW LEVEL SECURITY;
ALTER TABLE muzik ENABLE ROW LEVEL SECURITY;
ALTER TABLE surum ENABLE ROW LEVEL SECURITY;
ALTER TABLE zil_kaydi ENABLE ROW LEVEL SECURITY;

DROP POLICY IF EXISTS okulun ON okul;
CREATE POLICY okulun ON okul FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS okulun ON bina;
CREATE POLICY okulun ON bina FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS kendisi ON uye;
CREATE POLICY kendisi ON uye FOR SELECT USING (rol = session_user);
DROP POLICY IF EXISTS okulun ON surum;
CREATE POLICY okulun ON surum FOR SELECT USING (okul_id = zil_okulum());

DROP POLICY IF EXISTS okulun ON program;
CREATE POLICY okulun ON program FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON program;
CREATE POLICY yonetici ON program FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
DROP POLICY IF EXISTS okulun ON zil;
CREATE POLICY okulun ON zil FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON zil;
CREATE POLICY yonetici ON zil FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
DROP POLICY IF EXISTS okulun ON takvim_ayar;
CREATE POLICY okulun ON takvim_ayar FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON takvim_ayar;
CREATE POLICY yonetici ON takvim_ayar FOR ALL
    USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
DROP POLICY IF EXISTS okulun ON takvim_kayit;
CREATE POLICY okulun ON takvim_kayit FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON takvim_kayit;
CREATE POLICY yonetici ON takvim_kayit FOR ALL
    USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
DROP POLICY IF EXISTS okulun ON anons;
CREATE POLICY okulun ON anons FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON anons;
CREATE POLICY yonetici ON anons FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
DROP POLICY IF EXISTS okulun ON tek_seferlik;
CREATE POLICY okulun ON tek_seferlik FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON tek_seferlik;
CREATE POLICY yonetici ON tek_seferlik FOR ALL
    USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
DROP POLICY IF EXISTS okulun ON muzik;
CREATE POLICY okulun ON muzik FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS yonetici ON muzik;
CREATE POLICY yonetici ON muzik FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());

DROP POLICY IF EXISTS okulun ON zil_kaydi;
CREATE POLICY okulun ON zil_kaydi FOR SELECT USING (okul_id = zil_okulum());
DROP POLICY IF EXISTS kendi ON zil_kaydi;
CREATE POLICY kendi ON zil_kaydi FOR INSERT
    WITH CHECK (bilgisayar = session_user AND okul_id = zil_okulum());

REVOKE ALL ON ALL TABLES IN SCHEMA public FROM PUBLIC;
GRANT SELECT ON okul, bina, uye, surum, program, zil, takvim_ayar, takvim_kayit, anons,
    tek_seferlik, muzik TO zil_bilgisayar;
GRANT SELECT, INSERT ON zil_kaydi TO zil_bilgisayar;
GRANT INSERT, UPDATE, DELETE ON program, zil, takvim_ayar, takvim_kayit, anons, tek_seferlik,
    muzik TO zil_yonetici;
GRANT USAGE ON SEQUENCE program_program_id_seq, zil_zil_id_seq, takvim_kayit_kayit_id_seq,
    anons_anons_id_seq, tek_seferlik_kayit_id_seq TO zil_yonetici;
REVOKE ALL ON FUNCTION zil_surum_tut(bigint) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION zil_surum_tut(bigint) TO zil_yonetici;

COMMIT;
