-- The shared place of the schools' schedules, in PostgreSQL. Run once by the server's owner
-- (psql -f ortak.sql); each computer then logs in with a role of its own, made with
-- zil_bilgisayar_ekle(). Computers read their own school's rows only and add bell records only
-- as themselves; the schedule is changed only by members of zil_yonetici. Row-level security
-- holds that on the server, so a computer's password cannot reach another school.

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

CREATE TABLE okul (
    okul_id serial PRIMARY KEY,
    ad text NOT NULL
);

CREATE TABLE bina (
    bina_id serial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    ad text NOT NULL
);

-- Which school (and building) a login role rings for. Only the owner writes it.
CREATE TABLE uye (
    rol name PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    bina_id integer REFERENCES bina ON DELETE SET NULL
);

-- Programmes other than Normal (program_id 0, which every school has without a row).
CREATE TABLE program (
    program_id serial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    ad text NOT NULL,
    UNIQUE (okul_id, ad)
);

-- A bell of a programme on a weekday; bina_id NULL rings in every building of the school.
CREATE TABLE zil (
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
CREATE INDEX zil_okul ON zil (okul_id);

-- The school year, the holidays switched off, confirmed religious dates, ceremonies, the name.
CREATE TABLE takvim_ayar (
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    anahtar text NOT NULL,
    deger text NOT NULL,
    PRIMARY KEY (okul_id, anahtar)
);

-- The school's own dated entries: holidays, half days, make-up days, special programmes.
CREATE TABLE takvim_kayit (
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
CREATE TABLE anons (
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
CREATE INDEX anons_okul ON anons (okul_id);

-- Bells of one date only ("Tek seferlik"); bina_id NULL: every building.
CREATE TABLE tek_seferlik (
    kayit_id bigserial PRIMARY KEY,
    okul_id integer NOT NULL REFERENCES okul ON DELETE CASCADE,
    bina_id integer REFERENCES bina ON DELETE CASCADE,
    tarih text NOT NULL,
    ders_saati text,
    baslama text,
    muzik text,
    sure integer
);
CREATE INDEX tek_seferlik_okul ON tek_seferlik (okul_id);

-- The music the school's rows name, by its path under Muzikler ('/' between folders), so a
-- computer that lacks a file fetches it once instead of ringing the fallback tone. The checks
-- keep a name inside Muzikler; the computers check again, since they trust no row.
CREATE TABLE muzik (
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
CREATE TABLE surum (
    okul_id integer PRIMARY KEY REFERENCES okul ON DELETE CASCADE,
    surum bigint NOT NULL DEFAULT 0
);

-- Every computer's bell record. The computer, the file its lines come from (kaynak), the line's
-- number there and the moment it was written make a line unique, so an upload sent again after
-- a cut is taken once, while a new file, or one restored from a backup, which numbers its lines
-- again from an older number, loses none.
CREATE TABLE zil_kaydi (
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
CREATE FUNCTION zil_okulum() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public
    AS $$ SELECT okul_id FROM uye WHERE rol = session_user $$;
CREATE FUNCTION zil_binam() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public
    AS $$ SELECT bina_id FROM uye WHERE rol = session_user $$;
CREATE FUNCTION zil_yonetici_mi() RETURNS boolean
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public
    AS $$ SELECT pg_has_role(session_user, 'zil_yonetici', 'MEMBER') $$;

-- Holds the school's version until the caller's transaction ends and says whether it is still
-- the one expected: two managers saving at once are put in a row, and the second is told.
CREATE FUNCTION zil_surum_tut(beklenen bigint) RETURNS boolean
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
CREATE FUNCTION zil_degisti() RETURNS trigger
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

CREATE FUNCTION zil_okul_eklendi() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public
    AS $$
BEGIN
    INSERT INTO surum (okul_id) VALUES (NEW.okul_id);
    RETURN NULL;
END
$$;
CREATE TRIGGER okul_surum AFTER INSERT ON okul FOR EACH ROW EXECUTE FUNCTION zil_okul_eklendi();

CREATE TRIGGER program_degisti AFTER INSERT OR UPDATE OR DELETE ON program
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE TRIGGER zil_degisti AFTER INSERT OR UPDATE OR DELETE ON zil
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE TRIGGER takvim_ayar_degisti AFTER INSERT OR UPDATE OR DELETE ON takvim_ayar
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE TRIGGER takvim_kayit_degisti AFTER INSERT OR UPDATE OR DELETE ON takvim_kayit
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE TRIGGER anons_degisti AFTER INSERT OR UPDATE OR DELETE ON anons
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE TRIGGER tek_seferlik_degisti AFTER INSERT OR UPDATE OR DELETE ON tek_seferlik
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();
CREATE TRIGGER muzik_degisti AFTER INSERT OR UPDATE OR DELETE ON muzik
    FOR EACH ROW EXECUTE FUNCTION zil_degisti();

-- A computer's login role: `rol` with `parola`, ringing for the school and building (NULL: the
-- school's bells for all buildings only); a manager may also change the school's schedule.
CREATE FUNCTION zil_bilgisayar_ekle(rol name, parola text, okul integer, bina integer,
                                    yonetici boolean DEFAULT false) RETURNS void
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

CREATE POLICY okulun ON okul FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY okulun ON bina FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY kendisi ON uye FOR SELECT USING (rol = session_user);
CREATE POLICY okulun ON surum FOR SELECT USING (okul_id = zil_okulum());

CREATE POLICY okulun ON program FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON program FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
CREATE POLICY okulun ON zil FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON zil FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
CREATE POLICY okulun ON takvim_ayar FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON takvim_ayar FOR ALL
    USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
CREATE POLICY okulun ON takvim_kayit FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON takvim_kayit FOR ALL
    USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
CREATE POLICY okulun ON anons FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON anons FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
CREATE POLICY okulun ON tek_seferlik FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON tek_seferlik FOR ALL
    USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());
CREATE POLICY okulun ON muzik FOR SELECT USING (okul_id = zil_okulum());
CREATE POLICY yonetici ON muzik FOR ALL USING (okul_id = zil_okulum() AND zil_yonetici_mi())
    WITH CHECK (okul_id = zil_okulum() AND zil_yonetici_mi());

CREATE POLICY okulun ON zil_kaydi FOR SELECT USING (okul_id = zil_okulum());
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
