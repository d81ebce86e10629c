-- A believable demo plant: workers, products in four nomenclature groups,
-- operation kinds and operations with their norms, and two months of journal
-- entries (the previous month and the current one up to today) with the hours
-- timesheet that agrees with them.
SELECT setseed(0.42);

-- ERP catalogues
INSERT INTO cmn_classifier.item (id, id_classifier, id_level, id_parent, s_code, s_caption) VALUES
    (1, 1, 1, NULL, 'NOM', 'Номенклатура'),
    (11, 1, 2, 1, '01', 'Мебельная фурнитура'),
    (12, 1, 2, 1, '02', 'Корпусная мебель'),
    (13, 1, 2, 1, '03', 'Металлоизделия'),
    (14, 1, 2, 1, '04', 'Упаковка');

INSERT INTO adm_role.roles (id, s_name, s_caption, d_begin, b_active) VALUES
    (1, 'worker', 'Рабочий', '2010-01-01', true),
    (2, 'master', 'Мастер участка', '2010-01-01', true),
    (3, 'store', 'Кладовщик', '2010-01-01', true);
INSERT INTO cmn_department.department (id, s_code, s_caption) VALUES
    (1, '10', 'Сборочный цех'), (2, '20', 'Малярный участок'), (3, '30', 'Заготовительный участок');
INSERT INTO hrms_staffpos.staffpos (id, id_department, s_code, s_caption, d_begin) VALUES
    (1, 1, 'SB', 'Сборщик', '2010-01-01'), (2, 2, 'ML', 'Маляр', '2010-01-01'),
    (3, 3, 'ST', 'Станочник', '2010-01-01'), (4, 1, 'UP', 'Упаковщик', '2010-01-01'),
    (5, 1, 'MS', 'Мастер', '2010-01-01');

INSERT INTO cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, massa, id_class_item) VALUES
    ('Ручка РК-128', '', 6, 0.02, 11), ('Ручка РС-96', '', 6, 0.02, 11), ('Петля П-35', '', 6, 0.01, 11),
    ('Опора О-40', '', 6, 0.05, 11),
    ('Тумба ТБ-1', '', 6, 1, 12), ('Шкаф ШК-2', '', 6, 1, 12), ('Полка ПЛ-800', '', 6, 0.25, 12),
    ('Стеллаж СТ-5', '', 6, 0.5, 12),
    ('Кронштейн К-12', '', 6, 0.1, 13), ('Уголок У-50', '', 6, 0.04, 13), ('Скоба СК-3', '', 6, 0.02, 13),
    ('Рама Р-600', '', 6, 0.5, 13),
    ('Короб КР-1', '', 6, 0.1, 14), ('Ящик Я-400', '', 6, 0.2, 14), ('Поддон ПД-1200', '', 6, 1, 14);

-- Workers (the catalogue's triggers create the ERP persons)
INSERT INTO accounts_dep.person (fio, s_staffpos_hl)
SELECT f, p FROM (VALUES
    ('Алексеев А.В.', 'Сборщик'), ('Белова Н.С.', 'Упаковщик'), ('Васильев П.И.', 'Станочник'),
    ('Горбунов С.А.', 'Маляр'), ('Дмитриева О.Н.', 'Сборщик'), ('Егоров В.П.', 'Станочник'),
    ('Жукова Т.М.', 'Упаковщик'), ('Захаров И.И.', 'Сборщик'), ('Ильина Е.В.', 'Маляр'),
    ('Ковалёв Д.С.', 'Станочник'), ('Лебедев Р.А.', 'Сборщик'), ('Морозова А.П.', 'Упаковщик'),
    ('Никитин Г.Е.', 'Станочник'), ('Орлов М.В.', 'Маляр'), ('Павлова И.К.', 'Сборщик'),
    ('Романов К.Ю.', 'Станочник'), ('Семёнова Л.Д.', 'Упаковщик'), ('Тарасов Ю.Н.', 'Сборщик'),
    ('Устинов Б.Г.', 'Станочник'), ('Фёдорова В.А.', 'Маляр'), ('Харитонов Е.С.', 'Сборщик'),
    ('Цветков А.Л.', 'Станочник'), ('Чернова М.И.', 'Упаковщик'), ('Шарапов О.В.', 'Сборщик'),
    ('Щербаков Н.Н.', 'Станочник'), ('Юдина С.Р.', 'Маляр'), ('Яковлев Т.О.', 'Сборщик'),
    ('О''Нил Д.', 'Сборщик'), ('Кузьмин А.А.', 'Мастер'), ('Соколова Е.Е.', 'Упаковщик')
) v(f, p);

-- Operation kinds; "Покраска (краска)" makes the entry editor ask for a colour
INSERT INTO accounts_dep.vid_oper (vid) VALUES
    ('Сборка'), ('Резка'), ('Сверловка'), ('Шлифовка'), ('Покраска (краска)'), ('Упаковка'), ('Гибка');

-- Operations: every product gets a few kinds, finished products and blanks
INSERT INTO accounts_dep.oper (vid, i_id, naimen, cena_new)
SELECT k.id, g.id::integer, n, 0
  FROM cmn_gds_and_srv.gds_and_srv g
  JOIN accounts_dep.vid_oper k ON k.id NOT IN (7777, 7778)
  CROSS JOIN (VALUES (0), (1)) nn(n)
 WHERE (n = 0 AND k.vid IN ('Сборка', 'Покраска (краска)', 'Упаковка'))
    OR (n = 1 AND k.vid IN ('Резка', 'Сверловка', 'Шлифовка', 'Гибка') AND (g.id + k.id) % 2 = 0);

-- One to three norms per operation
INSERT INTO accounts_dep.norm (o_id, norma, price, prize)
SELECT o.id, 50 + 10 * s, round((0.35 + random() * 4.5)::numeric, 3), CASE WHEN s = 1 THEN 5 ELSE 0 END
  FROM accounts_dep.oper o
  CROSS JOIN generate_series(1, 3) s
 WHERE o.id NOT IN (7777, 7778) AND s <= 1 + (o.id % 3);

-- Journal entries: previous month up to today, all four shifts, weekends too
DO $$
DECLARE
    d date;
    w record;
    o record;
    sh int;
    cnt int;
    price numeric;
BEGIN
    d := date_trunc('month', current_date)::date - interval '1 month';
    WHILE d <= current_date LOOP
        FOR w IN SELECT id FROM accounts_dep.person ORDER BY id LOOP
            -- on weekends only some work; a few people work overtime
            CONTINUE WHEN extract(isodow FROM d) >= 6 AND random() > 0.15;
            CONTINUE WHEN random() < 0.08;
            sh := 1 + (w.id % 3);
            IF random() < 0.06 THEN sh := 4; END IF;
            FOR cnt IN 1 .. (1 + floor(random() * 2))::int LOOP
                SELECT op.id, op.i_id, op.vid, min(n.price) AS p, vo.vid AS kind INTO o
                  FROM accounts_dep.oper op
                  JOIN accounts_dep.norm n ON n.o_id = op.id
                  JOIN accounts_dep.vid_oper vo ON vo.id = op.vid
                 WHERE op.id NOT IN (7777, 7778)
                 GROUP BY op.id, op.i_id, op.vid, vo.vid
                 ORDER BY random() LIMIT 1;
                price := o.p;
                IF extract(isodow FROM d) >= 6 THEN price := price * 2.0; END IF;
                IF sh = 3 THEN price := price * 1.2; ELSIF sh = 4 THEN price := price * 1.5; END IF;
                INSERT INTO accounts_dep.smena (data, smena, w_id, i_id, o_id, kol_vo, brak, cena, time, color, ok, vvod,
                                                prize, id_doc, id_doc_item, id_gds_use, id_cons_use, f_gds_qty_use)
                SELECT d, sh, w.id, o.i_id, o.id, q, CASE WHEN random() < 0.2 THEN floor(random() * 3) ELSE 0 END,
                       round(price, 4)::float8, CASE WHEN cnt = 1 THEN 4 + floor(random() * 5) ELSE 2 END,
                       CASE WHEN o.kind ILIKE '%краска%' THEN (ARRAY[1, 3, 7, 12])[1 + floor(random() * 4)] ELSE 0 END,
                       CASE WHEN d < current_date - 3 AND random() < 0.8 THEN 'ok' ELSE 'no' END, d, 0, 0, 0, 0, 0, 0
                  FROM (SELECT 20 + floor(random() * 180)::int AS q) qq
                 WHERE NOT EXISTS (SELECT 1 FROM accounts_dep.smena s
                                    WHERE s.w_id = w.id AND s.o_id = o.id AND s.data = d AND s.smena = sh);
            END LOOP;
        END LOOP;
        -- housekeeping and average-piecework hours
        IF extract(isodow FROM d) < 6 THEN
            INSERT INTO accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, cnt, price, i_holiday, i_night)
            SELECT CASE WHEN p.id % 2 = 0 THEN 7777 ELSE 7778 END, p.id, 11 + p.id % 4, d,
                   extract(month FROM d), extract(year FROM d), 1, 2 + floor(random() * 4),
                   CASE WHEN p.id % 2 = 0 THEN 100 ELSE 120 END, 0, CASE WHEN random() < 0.1 THEN 1 ELSE 0 END
              FROM accounts_dep.person p
             WHERE random() < 0.07;
        END IF;
        d := d + 1;
    END LOOP;
END $$;

-- Timesheet lines that agree with the entries
INSERT INTO accounts_dep.h_tabel (w_id, smena, month, year,
    d1, d2, d3, d4, d5, d6, d7, d8, d9, d10, d11, d12, d13, d14, d15, d16,
    d17, d18, d19, d20, d21, d22, d23, d24, d25, d26, d27, d28, d29, d30, d31)
SELECT w_id, smena, extract(month FROM data)::int, extract(year FROM data)::int,
    sum(time) FILTER (WHERE extract(day FROM data) = 1), sum(time) FILTER (WHERE extract(day FROM data) = 2),
    sum(time) FILTER (WHERE extract(day FROM data) = 3), sum(time) FILTER (WHERE extract(day FROM data) = 4),
    sum(time) FILTER (WHERE extract(day FROM data) = 5), sum(time) FILTER (WHERE extract(day FROM data) = 6),
    sum(time) FILTER (WHERE extract(day FROM data) = 7), sum(time) FILTER (WHERE extract(day FROM data) = 8),
    sum(time) FILTER (WHERE extract(day FROM data) = 9), sum(time) FILTER (WHERE extract(day FROM data) = 10),
    sum(time) FILTER (WHERE extract(day FROM data) = 11), sum(time) FILTER (WHERE extract(day FROM data) = 12),
    sum(time) FILTER (WHERE extract(day FROM data) = 13), sum(time) FILTER (WHERE extract(day FROM data) = 14),
    sum(time) FILTER (WHERE extract(day FROM data) = 15), sum(time) FILTER (WHERE extract(day FROM data) = 16),
    sum(time) FILTER (WHERE extract(day FROM data) = 17), sum(time) FILTER (WHERE extract(day FROM data) = 18),
    sum(time) FILTER (WHERE extract(day FROM data) = 19), sum(time) FILTER (WHERE extract(day FROM data) = 20),
    sum(time) FILTER (WHERE extract(day FROM data) = 21), sum(time) FILTER (WHERE extract(day FROM data) = 22),
    sum(time) FILTER (WHERE extract(day FROM data) = 23), sum(time) FILTER (WHERE extract(day FROM data) = 24),
    sum(time) FILTER (WHERE extract(day FROM data) = 25), sum(time) FILTER (WHERE extract(day FROM data) = 26),
    sum(time) FILTER (WHERE extract(day FROM data) = 27), sum(time) FILTER (WHERE extract(day FROM data) = 28),
    sum(time) FILTER (WHERE extract(day FROM data) = 29), sum(time) FILTER (WHERE extract(day FROM data) = 30),
    sum(time) FILTER (WHERE extract(day FROM data) = 31)
  FROM accounts_dep.smena
 GROUP BY w_id, smena, extract(month FROM data), extract(year FROM data);

INSERT INTO accounts_dep.h_tabel (w_id, smena, i_type, i_night, month, year,
    d1, d2, d3, d4, d5, d6, d7, d8, d9, d10, d11, d12, d13, d14, d15, d16,
    d17, d18, d19, d20, d21, d22, d23, d24, d25, d26, d27, d28, d29, d30, d31)
SELECT id_p, 0, id_o, i_night, i_mnth, i_year,
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 1), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 2),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 3), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 4),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 5), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 6),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 7), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 8),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 9), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 10),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 11), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 12),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 13), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 14),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 15), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 16),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 17), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 18),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 19), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 20),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 21), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 22),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 23), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 24),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 25), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 26),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 27), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 28),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 29), sum(cnt) FILTER (WHERE extract(day FROM d_date) = 30),
    sum(cnt) FILTER (WHERE extract(day FROM d_date) = 31)
  FROM accounts_dep.fatigue
 GROUP BY id_p, id_o, i_night, i_mnth, i_year;

INSERT INTO accounts_dep.ver (d, t, delim) VALUES (0, 0, '.');
