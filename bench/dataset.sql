-- Benchmark dataset, made inside the server and the same on every run (no
-- random(): every choice is a hash of the worker, the day and the entry).
-- Variables (psql -v): start (first day), months, workers, products,
-- operations, per_day (entries of a worked day), others (ERP persons who are
-- not workers). Run as the schema's owner (tabel_owner) on a database made by scripts/create-db.
\set ON_ERROR_STOP 1
-- the timesheet lines aggregate millions of entries in memory, not on disk
SET work_mem = '256MB';

CREATE FUNCTION pg_temp.h(a bigint, b bigint, c bigint) RETURNS int
    LANGUAGE sql IMMUTABLE AS $$ SELECT abs(hashint8((a * 100003 + b) * 101 + c) % 1000) $$;

-- ERP catalogues: nomenclature groups, goods, staff positions
INSERT INTO cmn_classifier.item (id, id_classifier, id_level, id_parent, s_code, s_caption) VALUES
    (1, 1, 1, NULL, 'NOM', 'Номенклатура'),
    (11, 1, 2, 1, '01', 'Мебельная фурнитура'), (12, 1, 2, 1, '02', 'Корпусная мебель'),
    (13, 1, 2, 1, '03', 'Металлоизделия'), (14, 1, 2, 1, '04', 'Упаковка'),
    (15, 1, 2, 1, '05', 'Метизы'), (16, 1, 2, 1, '06', 'Заготовки');
INSERT INTO hrms_staffpos.staffpos (id, id_department, s_code, s_caption, d_begin) VALUES
    (1, 1, 'SB', 'Сборщик', '2010-01-01'), (2, 1, 'ML', 'Маляр', '2010-01-01'),
    (3, 1, 'ST', 'Станочник', '2010-01-01'), (4, 1, 'UP', 'Упаковщик', '2010-01-01');
INSERT INTO cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, massa, id_class_item)
SELECT (ARRAY['Ручка', 'Тумба', 'Кронштейн', 'Короб', 'Болт', 'Заготовка'])[1 + g % 6]
       || ' ' || chr(1040 + g % 26) || '-' || (100 + g), '', 6, 0.1, 11 + g % 6
  FROM generate_series(0, :products - 1) g;

-- ERP persons who are not workers (a real ERP holds thousands), then the
-- workers, whose ERP persons the catalogue's triggers create
INSERT INTO cmn_contractor.person (id, s_caption, s_code)
SELECT id, 'Контрагент ' || n, id::text
  FROM (SELECT nextval('cmn_contractor.person_seq') AS id, n FROM generate_series(1, :others) n) p;
CREATE TEMP TABLE w AS
SELECT n - 1 AS wn,
       (ARRAY['Иванов', 'Петров', 'Сидоров', 'Кузнецов', 'Смирнов', 'Попов', 'Лебедев', 'Козлов',
              'Новиков', 'Морозов', 'Волков', 'Соколов', 'Зайцев', 'Павлов', 'Семёнов', 'Голубев',
              'Виноградов', 'Богданов', 'Воробьёв', 'Фёдоров'])[1 + n % 20]
       || CASE WHEN n % 3 = 0 THEN 'а' ELSE '' END || ' '
       || substr('АБВГДЕЖЗИКЛМНОПРСТУФХЧШЭЮЯ', 1 + n % 26, 1) || '.'
       || substr('АБВГДЕЖЗИКЛМНОПРСТУФХЧШЭЮЯ', 1 + (n / 26) % 26, 1) || '. (' || n || ')' AS fio,
       (ARRAY['Сборщик', 'Маляр', 'Станочник', 'Упаковщик'])[1 + n % 4] AS pos
  FROM generate_series(1, :workers) n;
INSERT INTO accounts_dep.person (fio, s_staffpos_hl) SELECT fio, pos FROM w ORDER BY wn;
ALTER TABLE w ADD COLUMN id integer;
UPDATE w SET id = p.id FROM accounts_dep.person p WHERE p.fio = w.fio;
-- shifts 1 to 3 in turn, every tenth worker on shift 4
ALTER TABLE w ADD COLUMN shift integer;
UPDATE w SET shift = CASE WHEN wn % 10 = 9 THEN 4 ELSE 1 + wn % 3 END;

-- Operation kinds, operations over the products, one to three norms each
INSERT INTO accounts_dep.vid_oper (vid) VALUES
    ('Сборка'), ('Резка'), ('Сверловка'), ('Шлифовка'), ('Покраска (краска)'), ('Упаковка'), ('Гибка'), ('Сварка');
CREATE TEMP TABLE kinds AS
SELECT row_number() OVER (ORDER BY id) - 1 AS kn, id, vid FROM accounts_dep.vid_oper WHERE id NOT IN (7777, 7778);
CREATE TEMP TABLE goods AS
SELECT row_number() OVER (ORDER BY id) - 1 AS gn, id FROM cmn_gds_and_srv.gds_and_srv;
-- ids given here step over the two fixed operation rows 7777 and 7778
INSERT INTO accounts_dep.oper (id, vid, i_id, naimen, cena_new)
SELECT o + 1 + CASE WHEN o + 1 >= 7777 THEN 2 ELSE 0 END, k.id, g.id::integer, o % 2, 0
  FROM generate_series(0, :operations - 1) o
  JOIN goods g ON g.gn = o % :products
  JOIN kinds k ON k.kn = (o / :products) % 8;
SELECT setval(pg_get_serial_sequence('accounts_dep.oper', 'id'), max(id)) FROM accounts_dep.oper \g /dev/null
INSERT INTO accounts_dep.norm (o_id, norma, price, prize)
SELECT o.id, 50 + 10 * s, 0.35 + ((o.id * 37 + s * 11) % 450) / 100.0, CASE WHEN s = 1 THEN 5 ELSE 0 END
  FROM accounts_dep.oper o CROSS JOIN generate_series(1, 3) s
 WHERE o.id NOT IN (7777, 7778) AND s <= 1 + o.id % 3;
CREATE TEMP TABLE ops AS
SELECT row_number() OVER (ORDER BY o.id) - 1 AS opn, o.id, o.i_id, min(n.price) AS price,
       bool_or(k.vid ILIKE '%краска%') AS paint
  FROM accounts_dep.oper o JOIN accounts_dep.norm n ON n.o_id = o.id JOIN accounts_dep.vid_oper k ON k.id = o.vid
 WHERE o.id NOT IN (7777, 7778)
 GROUP BY o.id, o.i_id;

-- The journal's and the timesheet's indexes are made again after the load,
-- which is quicker than keeping them up row by row (those of constraints
-- stay: the save keys are empty in a load)
CREATE TEMP TABLE saved_indexes AS
SELECT indexname, indexdef FROM pg_indexes
 WHERE schemaname = 'accounts_dep' AND tablename IN ('smena', 'h_tabel', 'fatigue') AND indexname NOT LIKE '%pkey'
   AND NOT EXISTS (SELECT 1 FROM pg_constraint c WHERE c.conname = indexname AND c.connamespace = 'accounts_dep'::regnamespace);
DO $$
DECLARE
    r record;
BEGIN
    FOR r IN SELECT indexname FROM saved_indexes LOOP
        EXECUTE format('DROP INDEX accounts_dep.%I', r.indexname);
    END LOOP;
END $$;

-- The journal: on a weekday 95 % of the workers work, on a weekend 15 %;
-- a worked day has per_day entries of different operations in the worker's shift
CREATE TEMP TABLE days AS
SELECT d::date AS data, (d::date - :'start'::date) AS dn, extract(isodow FROM d) >= 6 AS weekend
  FROM generate_series(:'start'::date, (:'start'::date + make_interval(months => :months) - interval '1 day'), interval '1 day') d;
INSERT INTO accounts_dep.smena (data, smena, w_id, i_id, o_id, kol_vo, brak, cena, time, color, ok, vvod,
                                prize, id_doc, id_doc_item, id_gds_use, id_cons_use, f_gds_qty_use)
SELECT d.data, w.shift, w.id, op.i_id, op.id, 20 + pg_temp.h(w.wn, d.dn, k) % 180,
       CASE WHEN pg_temp.h(w.wn, d.dn, k + 10) % 5 = 0 THEN pg_temp.h(w.wn, d.dn, k + 20) % 3 ELSE 0 END,
       round(op.price * CASE WHEN d.weekend THEN 2.0 ELSE 1 END
                      * CASE w.shift WHEN 3 THEN 1.2 WHEN 4 THEN 1.5 ELSE 1 END, 4)::float8,
       CASE WHEN k = 1 THEN 8 - 2 * (:per_day - 1) ELSE 2 END,
       CASE WHEN op.paint THEN (ARRAY[1, 3, 7, 12])[1 + pg_temp.h(w.wn, d.dn, k + 30) % 4] ELSE 0 END,
       CASE WHEN pg_temp.h(w.wn, d.dn, 40) % 10 < 8 THEN 'ok' ELSE 'no' END,
       d.data + time '08:00', 0, 0, 0, 0, 0, 0
  FROM w CROSS JOIN days d CROSS JOIN generate_series(1, :per_day) k
  JOIN ops op ON op.opn = (pg_temp.h(w.wn, d.dn, 0) + k * 7) % :operations
 WHERE pg_temp.h(w.wn, d.dn, 50) % 100 < CASE WHEN d.weekend THEN 15 ELSE 95 END;

-- Housekeeping and average-piecework hours on weekdays, 7 % of the workers a day
INSERT INTO accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, i_holiday, i_night)
SELECT CASE WHEN w.wn % 2 = 0 THEN 7777 ELSE 7778 END, w.id, 11 + w.wn % 6, d.data,
       extract(month FROM d.data), extract(year FROM d.data), 1, 2 + pg_temp.h(w.wn, d.dn, 60) % 4,
       CASE WHEN w.wn % 2 = 0 THEN 100 ELSE 120 END, 0, CASE WHEN pg_temp.h(w.wn, d.dn, 70) % 10 = 0 THEN 1 ELSE 0 END
  FROM w CROSS JOIN days d
 WHERE NOT d.weekend AND pg_temp.h(w.wn, d.dn, 80) % 100 < 7;

-- Timesheet lines that agree with the entries: per shift the day's hours,
-- per housekeeping kind and night flag the day's hours
DO $$
DECLARE
    cols text := (SELECT string_agg('d' || n, ', ') FROM generate_series(1, 31) n);
    hours text := (SELECT string_agg(format('sum(hours) FILTER (WHERE day = %s)', n), ', ')
                     FROM generate_series(1, 31) n);
BEGIN
    EXECUTE format('INSERT INTO accounts_dep.h_tabel (w_id, smena, month, year, %s)
                    SELECT w_id, smena, extract(month FROM data)::int, extract(year FROM data)::int, %s
                      FROM (SELECT w_id, smena, data, time AS hours, extract(day FROM data)::int AS day
                              FROM accounts_dep.smena) e
                     GROUP BY 1, 2, 3, 4', cols, hours);
    EXECUTE format('INSERT INTO accounts_dep.h_tabel (w_id, smena, i_type, i_night, month, year, %s)
                    SELECT id_p, 0, id_o, i_night, i_mnth, i_year, %s
                      FROM (SELECT id_p, id_o, i_night, i_mnth, i_year, cnt AS hours, extract(day FROM d_date)::int AS day
                              FROM accounts_dep.fatigue) e
                     GROUP BY id_p, id_o, i_night, i_mnth, i_year', cols, hours);
END $$;

DO $$
DECLARE
    r record;
BEGIN
    FOR r IN SELECT indexdef FROM saved_indexes LOOP
        EXECUTE r.indexdef;
    END LOOP;
END $$;

-- Check: each shift line holds its entries' hours, on the right days (the
-- hours and the hours weighted by the day of the month agree)
DO $$
DECLARE
    total text := (SELECT string_agg(format('coalesce(d%s, 0)', n), ' + ') FROM generate_series(1, 31) n);
    weighted text := (SELECT string_agg(format('coalesce(d%s, 0) * %s', n, n), ' + ') FROM generate_series(1, 31) n);
    bad bigint;
BEGIN
    EXECUTE format('SELECT count(*) FROM
        (SELECT w_id, smena, month, year, %s AS hours, %s AS weighted FROM accounts_dep.h_tabel WHERE i_type = 0) h
        FULL JOIN (SELECT w_id, smena, extract(month FROM data)::int AS month, extract(year FROM data)::int AS year,
                          sum(time) AS hours, sum(time * extract(day FROM data)::int) AS weighted
                     FROM accounts_dep.smena GROUP BY 1, 2, 3, 4) e USING (w_id, smena, month, year)
        WHERE h.hours IS DISTINCT FROM e.hours OR h.weighted IS DISTINCT FROM e.weighted', total, weighted)
      INTO bad;
    IF bad > 0 THEN
        RAISE EXCEPTION 'timesheet lines disagree with the entries: % lines', bad;
    END IF;
END $$;

INSERT INTO accounts_dep.ver (d, t, delim) VALUES (0, 0, '.');
