-- The writes of the program's windows, one function each: every write is one
-- call, one statement, one transaction (the call's own), returning its
-- outcome as one row (status, id, message):
--   status 'saved'     written (or found stored by its save key), id = the row;
--          'duplicate' the same entry is stored already;
--          'changed'   another workstation changed or deleted the row meanwhile;
--          'refused'   refused by a check; message says why.
-- Errors of the database (a closed month, a right missing, a sum too large)
-- are raised as they are and roll the call back.
--
-- The functions run with the owner's rights and check the role of the user
-- signed in on this session (session_who()) as the windows do.
--
-- Locks, all released when the transaction ends, all of one transaction
-- taken by one call of lock_months() in ascending order:
--  - a save or deletion that touches worker W's month takes the month key
--    (year*100 + month) shared and then the pair (month key, W) exclusively:
--    saves of one worker and month run one after the other, saves of other
--    workers of the month side by side;
--  - a whole-month action (rebuild, recalculation, product deletion) takes
--    the month key exclusively, which waits for every save of the month.
--
-- Part of sql/schema.sql for new databases; the program's "Структура БД"
-- runs it on an older one (every statement may run again without harm).

SET client_min_messages = warning;

-- The refusal when nobody signed in, and the role's name for a message.
CREATE OR REPLACE FUNCTION accounts_dep.write_role_name(p_role text)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE p_role WHEN 'administrator' THEN 'Администратор' WHEN 'masters' THEN 'Мастер'
                       WHEN 'econom' THEN 'Экономист' WHEN 'sklad' THEN 'Склад' ELSE p_role END
$$;

-- The signed-in user's role when it is one of `p_roles`; otherwise the
-- write is refused (raised, so nothing of it stands).
CREATE OR REPLACE FUNCTION accounts_dep.write_require(p_roles text[], p_what text)
RETURNS text LANGUAGE plpgsql STABLE
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    r text;
BEGIN
    SELECT w.user_role INTO r FROM accounts_dep.session_who() w LIMIT 1;
    IF r IS NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'Войдите в программу: без входа запись невозможна.', ERRCODE = 'P0001';
    END IF;
    IF NOT r = ANY (p_roles) THEN
        RAISE EXCEPTION USING MESSAGE = format('Недостаточно прав: пользователь с ролью «%s» не может %s.',
                                               accounts_dep.write_role_name(r), p_what),
                              ERRCODE = 'P0001';
    END IF;
    RETURN r;
END $$;

-- The change notice: the payload the workstations parse, compact JSON with
-- its keys in order ({"d":"2024-03-05","m":3,"s":1,"t":"entries","w":12,"y":2024});
-- zero or empty parts are left out. Sent inside the transaction, so it goes
-- out only with the commit (and identical ones once).
CREATE OR REPLACE FUNCTION accounts_dep.write_notice(p_table text, p_date date, p_year int, p_month int,
                                                     p_shift int, p_worker int)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    y int := coalesce(p_year, 0);
    m int := coalesce(p_month, 0);
    parts text[] := '{}';
BEGIN
    IF y = 0 AND p_date IS NOT NULL THEN
        y := extract(year FROM p_date)::int;
        m := extract(month FROM p_date)::int;
    END IF;
    IF p_date IS NOT NULL THEN
        parts := parts || format('"d":"%s"', to_char(p_date, 'YYYY-MM-DD'));
    END IF;
    IF y <> 0 THEN
        parts := parts || format('"m":%s', m);
    END IF;
    IF coalesce(p_shift, 0) <> 0 THEN
        parts := parts || format('"s":%s', p_shift);
    END IF;
    parts := parts || format('"t":"%s"', p_table);
    IF coalesce(p_worker, 0) <> 0 THEN
        parts := parts || format('"w":%s', p_worker);
    END IF;
    IF y <> 0 THEN
        parts := parts || format('"y":%s', y);
    END IF;
    PERFORM pg_notify('tabel_changes', '{' || array_to_string(parts, ',') || '}');
END $$;

-- Every advisory lock of the transaction, in one ascending order: month by
-- month, a month's own key (shared, or exclusive for a whole month) before
-- its (month, worker) pairs. `p_workers`/`p_dates` name worker months (any
-- day of the month; a null worker or date locks nothing), `p_months` whole
-- months (any day of each).
CREATE OR REPLACE FUNCTION accounts_dep.lock_months(p_workers int[], p_dates date[], p_months date[])
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    k record;
BEGIN
    FOR k IN
        WITH whole AS (
            SELECT DISTINCT (extract(year FROM d) * 100 + extract(month FROM d))::int AS mk
              FROM unnest(coalesce(p_months, '{}'::date[])) d WHERE d IS NOT NULL),
        pairs AS (
            SELECT DISTINCT (extract(year FROM u.d) * 100 + extract(month FROM u.d))::int AS mk, u.w
              FROM unnest(coalesce(p_workers, '{}'::int[]), coalesce(p_dates, '{}'::date[])) u(w, d)
             WHERE u.w IS NOT NULL AND u.d IS NOT NULL),
        keys AS (
            SELECT mk, -1 AS w, true AS excl FROM whole
            UNION ALL
            SELECT mk, -1, false FROM pairs WHERE mk NOT IN (SELECT mk FROM whole)
            UNION ALL
            SELECT mk, w, true FROM pairs WHERE mk NOT IN (SELECT mk FROM whole))
        SELECT mk, w, bool_or(excl) AS excl FROM keys GROUP BY mk, w ORDER BY mk, w
    LOOP
        IF k.w >= 0 THEN
            PERFORM pg_advisory_xact_lock(k.mk, k.w);
        ELSIF k.excl THEN
            PERFORM pg_advisory_xact_lock(k.mk::bigint);
        ELSE
            PERFORM pg_advisory_xact_lock_shared(k.mk::bigint);
        END IF;
    END LOOP;
EXCEPTION WHEN lock_not_available THEN
    -- the caller's lock_timeout ran out: another session holds the month
    RAISE EXCEPTION USING ERRCODE = 'P0001', MESSAGE =
        'Другое рабочее место сейчас записывает этот месяц или день. Повторите через несколько секунд.';
END $$;

-- The hours a day cell may hold; anything else is refused with a message.
CREATE OR REPLACE FUNCTION accounts_dep.day_cell_hours(p_sum bigint, p_worker numeric, p_date date)
RETURNS int LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
    IF p_sum > 2147483647 OR p_sum < -2147483648 THEN
        RAISE EXCEPTION USING ERRCODE = 'P0001', MESSAGE = format(
            'Часы работника %s за %s в сумме (%s) не помещаются в табель: наибольшее возможное значение 2147483647. Ничего не записано.',
            p_worker, to_char(p_date, 'DD.MM.YYYY'), p_sum);
    END IF;
    RETURN coalesce(p_sum, 0)::int;
END $$;

-- One day cell of the hours timesheet (accounts_dep.h_tabel) made equal to
-- the sum of the entries' hours: count the line, sum, then update or insert.
-- `p_missing` says what to do when the line does not exist yet:
--   'create'             a save: the line is inserted with that day's cell;
--   'create_unless_zero' the cell an edit left: no line made just to hold 0;
--   'leave'              a deletion: no line is inserted.
CREATE OR REPLACE FUNCTION accounts_dep.day_cell_write(p_line text, p_line_values int[], p_insert_cols text,
                                                       p_sum bigint, p_worker numeric, p_date date, p_missing text)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    cnt bigint;
    n int := accounts_dep.day_cell_hours(p_sum, p_worker, p_date);
    k text := 'd' || extract(day FROM p_date)::int;
BEGIN
    EXECUTE 'select count(w_id) as cnt from accounts_dep.h_tabel' || p_line INTO cnt USING p_line_values;
    IF cnt <> 0 THEN
        EXECUTE format('update accounts_dep.h_tabel set %I=$2', k) || p_line USING p_line_values, n;
        RETURN;
    END IF;
    IF p_missing = 'leave' OR (p_missing = 'create_unless_zero' AND n = 0) THEN
        RETURN;
    END IF;
    EXECUTE format('insert into accounts_dep.h_tabel(%s, %I) select %s, $2', p_insert_cols, k,
                   (SELECT string_agg(format('$1[%s]', i), ', ')
                      FROM generate_series(1, array_length(p_line_values, 1)) i))
      USING p_line_values, n;
END $$;

-- The day cell of worker W's shift line (shift 1-4) for date D: the sum of
-- that worker's smena.time of that shift and day.
CREATE OR REPLACE FUNCTION accounts_dep.day_cell_shift(p_worker int, p_shift int, p_date date, p_missing text)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    total bigint;
BEGIN
    SELECT sum(time) AS tim INTO total FROM accounts_dep.smena
     WHERE w_id = p_worker AND smena = p_shift AND data = p_date GROUP BY w_id, smena, data;
    PERFORM accounts_dep.day_cell_write(' where smena=$1[1] and w_id=$1[2] and month=$1[3] and year=$1[4]',
                                        ARRAY[p_shift, p_worker, extract(month FROM p_date)::int, extract(year FROM p_date)::int],
                                        'smena, w_id, month, year', total, p_worker, p_date, p_missing);
END $$;

-- The day cell of worker W's housekeeping line (smena 0, i_type = kind 7777
-- or 7778, i_night = night 0/1) for date D: the sum of fatigue.cnt of that
-- worker, kind, night flag and day. An empty night flag is a day (0), on the
-- entries and on the lines alike.
CREATE OR REPLACE FUNCTION accounts_dep.day_cell_housekeeping(p_worker int, p_kind int, p_night int, p_date date,
                                                              p_missing text)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    total bigint;
BEGIN
    SELECT sum(f.cnt) AS tim INTO total FROM accounts_dep.fatigue f
     WHERE f.id_p = p_worker AND f.id_o = p_kind AND coalesce(i_night, 0) = p_night AND f.d_date = p_date
     GROUP BY f.id_p, f.d_date;
    PERFORM accounts_dep.day_cell_write(
        ' where i_type=$1[1] and w_id=$1[2] and month=$1[3] and year=$1[4] and coalesce(i_night,0)=$1[5]',
        ARRAY[p_kind, p_worker, extract(month FROM p_date)::int, extract(year FROM p_date)::int, p_night],
        'i_type, w_id, month, year, i_night', total, p_worker, p_date, p_missing);
END $$;

-- Many shift cells at once, set-based (one update per day of month): the
-- lines that exist get their cells recomputed; no line is inserted. Every
-- sum is checked before anything is written.
CREATE OR REPLACE FUNCTION accounts_dep.day_cells_shift_existing(p_workers int[], p_shifts int[], p_dates date[])
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    w int[];
    s int[];
    d date[];
    n int[];
    day int;
BEGIN
    SELECT array_agg(v.w), array_agg(v.s), array_agg(v.d),
           array_agg(accounts_dep.day_cell_hours(v.tim, v.w, v.d))
      INTO w, s, d, n
      FROM (SELECT c.w, c.s, c.d, coalesce(sum(e.time), 0) AS tim
              FROM (SELECT DISTINCT u.w, u.s, u.d FROM unnest(p_workers, p_shifts, p_dates) u(w, s, d)
                     WHERE u.w IS NOT NULL AND u.s IS NOT NULL AND u.d IS NOT NULL) c
              LEFT JOIN accounts_dep.smena e ON e.w_id = c.w AND e.smena = c.s AND e.data = c.d
             GROUP BY c.w, c.s, c.d) v;
    IF w IS NULL THEN
        RETURN;
    END IF;
    -- Everything checked: now the writes, one statement per day of month.
    FOR day IN SELECT DISTINCT extract(day FROM x)::int FROM unnest(d) x ORDER BY 1 LOOP
        EXECUTE format('update accounts_dep.h_tabel h set %I=v.n from unnest($1, $2, $3, $4) v(w, s, d, n) '
                       'where extract(day from v.d)::int=$5 and h.w_id=v.w and h.smena=v.s '
                       'and h.month=extract(month from v.d)::int and h.year=extract(year from v.d)::int',
                       'd' || day)
          USING w, s, d, n, day;
    END LOOP;
END $$;

-- ------------------------------------------------- prices and value limits

-- Rounding of money to p_places decimals, a value halfway between two
-- neighbours going to the even one (1.85205 -> 1.8520, 1.85175 -> 1.8518).
-- The built-in round() takes a tie away from zero.
CREATE OR REPLACE FUNCTION accounts_dep.round_half_even(p_value numeric, p_places int)
RETURNS numeric LANGUAGE plpgsql IMMUTABLE
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    scale numeric := power(10::numeric, p_places);
    scaled numeric := p_value * scale;
    down numeric := floor(scaled);
    rest numeric := scaled - down;
BEGIN
    IF p_value IS NULL THEN
        RETURN NULL;
    END IF;
    IF rest > 0.5 OR (rest = 0.5 AND mod(down, 2) <> 0) THEN
        down := down + 1;
    END IF;
    RETURN round(down / scale, p_places);
END $$;

-- The piece price of an entry, unrounded: the operation's list price (the
-- smallest of its norm prices) doubled on a day off, then raised by 20 % in
-- shift 3 or by 50 % in overtime (shift 4). Null when the operation has no
-- norm price. The one place where these factors live: the saves, the entry
-- editor and the team window all take them from here.
CREATE OR REPLACE FUNCTION accounts_dep.entry_price_exact(p_operation int, p_shift int, p_day_off boolean)
RETURNS numeric LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    SELECT min(n.price)::numeric
           * CASE WHEN coalesce(p_day_off, false) THEN 2.0 ELSE 1 END
           * CASE p_shift WHEN 3 THEN 1.2 WHEN 4 THEN 1.5 ELSE 1 END
      FROM accounts_dep.norm n
     WHERE n.o_id = p_operation
$$;

-- The price an entry stores: the piece price rounded to 4 places, ties to even.
CREATE OR REPLACE FUNCTION accounts_dep.entry_price(p_operation int, p_shift int, p_day_off boolean)
RETURNS numeric LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    SELECT accounts_dep.round_half_even(accounts_dep.entry_price_exact(p_operation, p_shift, p_day_off), 4)
$$;

-- What the entry editor shows as the sum: the quantity at the unrounded
-- piece price, rounded once to 4 places (7 at 1.23456 is 8.6419).
CREATE OR REPLACE FUNCTION accounts_dep.entry_amount(p_operation int, p_shift int, p_day_off boolean, p_quantity bigint)
RETURNS numeric LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    SELECT accounts_dep.round_half_even(accounts_dep.entry_price_exact(p_operation, p_shift, p_day_off) * p_quantity, 4)
$$;

-- The price of an hour of housekeeping work or average piecework: the work
-- kind's norm price (the smallest, where the kind has several) doubled on a
-- day off, then raised by 20 % at night; 4 places, ties to even. Null when
-- the kind has no norm price.
CREATE OR REPLACE FUNCTION accounts_dep.housekeeping_price(p_kind int, p_day_off boolean, p_night boolean)
RETURNS numeric LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    SELECT accounts_dep.round_half_even(
               min(n.price)::numeric
               * CASE WHEN coalesce(p_day_off, false) THEN 2.0 ELSE 1 END
               * CASE WHEN coalesce(p_night, false) THEN 1.2 ELSE 1 END, 4)
      FROM accounts_dep.norm n, accounts_dep.oper o
     WHERE n.o_id = o.id AND o.vid = p_kind AND p_kind IN (7777, 7778)
$$;

-- The limits of what one entry holds: whole numbers a plant reaches, as the
-- editors let them be typed. Null when the values are within them, else the
-- refusal naming the field as the editors caption it. An empty value is
-- not judged here (the legacy import brings entries without hours).
CREATE OR REPLACE FUNCTION accounts_dep.entry_values_refusal(p_quantity bigint, p_defects bigint, p_hours bigint,
                                                             p_colour bigint)
RETURNS text LANGUAGE sql IMMUTABLE
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    SELECT CASE
        WHEN p_quantity < 0 THEN 'Кол-во: не меньше 0.'
        WHEN p_quantity > 100000 THEN 'Кол-во: не больше 100 000.'
        WHEN p_defects < 0 THEN 'Брак: не меньше 0.'
        WHEN p_defects > 100000 THEN 'Брак: не больше 100 000.'
        WHEN p_hours < 0 THEN 'Часы: не меньше 0.'
        WHEN p_hours > 24 THEN 'Часы: не больше 24.'
        WHEN p_colour < 0 THEN 'Цвет: не меньше 0.'
        WHEN p_colour > 2147483647 THEN 'Цвет: не больше 2147483647.'
    END
$$;

-- The hours a worker has on a date, every shift's entries and the
-- housekeeping entries together, leaving out the entry being changed
-- (p_entry: a journal entry, p_housekeeping: a housekeeping entry; null for
-- none). A day holds at most 24: an editor checks hours + this before a save,
-- and the saves check it again under the worker's lock.
CREATE OR REPLACE FUNCTION accounts_dep.worker_day_hours(p_worker int, p_date date, p_entry bigint, p_housekeeping bigint)
RETURNS bigint LANGUAGE sql STABLE
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    SELECT coalesce((SELECT sum(s.time) FROM accounts_dep.smena s
                      WHERE s.w_id = p_worker AND s.data = p_date AND s.id IS DISTINCT FROM p_entry), 0)
         + coalesce((SELECT sum(f.cnt) FROM accounts_dep.fatigue f
                      WHERE f.id_p = p_worker AND f.d_date = p_date AND f.id IS DISTINCT FROM p_housekeeping), 0)
$$;

-- The refusal of a save that would make the worker's day longer than 24
-- hours; null when it does not. A day stored longer before this limit
-- existed may still be shortened.
CREATE OR REPLACE FUNCTION accounts_dep.worker_day_refusal(p_worker int, p_date date, p_entry bigint, p_housekeeping bigint,
                                                           p_hours int)
RETURNS text LANGUAGE plpgsql STABLE
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    others bigint := accounts_dep.worker_day_hours(p_worker, p_date, p_entry, p_housekeeping);
    before bigint := accounts_dep.worker_day_hours(p_worker, p_date, NULL, NULL);
    after bigint := others + coalesce(p_hours, 0);
BEGIN
    IF after > 24 AND after > before THEN
        RETURN format('Часы: за день у рабочего не больше 24. За %s у него уже %s ч.',
                      to_char(p_date, 'DD.MM.YYYY'), others);
    END IF;
    RETURN NULL;
END $$;

-- The legacy import's entries judged before anything is copied: one row per
-- entry out of the limits above, and per worker's day longer than 24 hours.
CREATE OR REPLACE FUNCTION accounts_dep.entries_refusals(p_ids bigint[], p_workers bigint[], p_dates date[],
                                                         p_quantities bigint[], p_defects bigint[], p_hours bigint[],
                                                         p_colours bigint[])
RETURNS TABLE (id bigint, message text) LANGUAGE sql IMMUTABLE
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
    WITH e AS (SELECT * FROM unnest(p_ids, p_workers, p_dates, p_quantities, p_defects, p_hours, p_colours)
                             u(id, w, d, q, b, h, c))
    SELECT x.id, x.message FROM (
        SELECT e.id, accounts_dep.entry_values_refusal(e.q, e.b, e.h, e.c) AS message FROM e
        UNION ALL
        SELECT min(e.id), format('Часы: за день у рабочего не больше 24. У рабочего %s за %s — %s ч.',
                                 e.w, to_char(e.d, 'DD.MM.YYYY'), sum(e.h))
          FROM e WHERE e.w IS NOT NULL AND e.d IS NOT NULL GROUP BY e.w, e.d HAVING sum(e.h) > 24) x
     WHERE x.message IS NOT NULL
     ORDER BY x.id
$$;

-- ---------------------------------------------------------------- entries

-- Adds (p_id 0 or null) or changes a shift entry, with its day cells.
-- The price is the database's own: a new entry, a change that picked the
-- operation again (p_reprice) and a change to another operation take
-- entry_price(operation, shift, day off); any other change keeps the stored
-- price. Values beyond what the editors let be typed are refused.
-- p_old_*: where the journal showed the entry when the editor opened (a
-- change made meanwhile at another workstation is refused); null when unknown.
DROP FUNCTION IF EXISTS accounts_dep.entry_save(bigint, int, int, int, numeric, int, int, int, int, int, date, uuid,
                                                int, int, date);
CREATE OR REPLACE FUNCTION accounts_dep.entry_save(
    p_id bigint, p_worker int, p_item int, p_operation int, p_reprice boolean, p_day_off boolean, p_quantity int,
    p_defects int, p_hours int, p_colour int, p_shift int, p_date date, p_key uuid,
    p_old_worker int, p_old_shift int, p_old_date date)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    adding boolean := coalesce(p_id, 0) = 0;
    found_id bigint;
    old record;
    now_ record;
    new_id bigint := p_id;
    v_product int;
    v_stored_operation int;
    v_stored_item int;
    v_reprice boolean;
    v_price numeric;
    v_why text;
BEGIN
    IF adding THEN
        PERFORM accounts_dep.write_require(ARRAY['administrator', 'masters'], 'добавлять позиции');
    ELSE
        PERFORM accounts_dep.write_require(ARRAY['administrator'], 'изменять позиции');
    END IF;
    -- A press after an unknown outcome: the row stored by that press is found by its key.
    IF p_key IS NOT NULL THEN
        SELECT s.id INTO found_id FROM accounts_dep.smena s WHERE s.save_key = p_key;
        IF found_id IS NOT NULL AND (adding OR found_id = p_id) THEN
            RETURN QUERY SELECT 'saved'::text, found_id, NULL::text;
            RETURN;
        END IF;
    END IF;

    -- What the editors let be typed, and nothing else.
    IF p_worker IS NULL OR p_item IS NULL OR p_operation IS NULL OR p_date IS NULL
       OR p_quantity IS NULL OR p_defects IS NULL OR p_hours IS NULL OR p_colour IS NULL THEN
        RETURN QUERY SELECT 'refused'::text, NULL::bigint, 'Все поля должны быть заполнены!'::text;
        RETURN;
    END IF;
    v_why := accounts_dep.entry_values_refusal(p_quantity, p_defects, p_hours, p_colour);
    IF v_why IS NULL AND (p_shift IS NULL OR p_shift NOT BETWEEN 1 AND 4) THEN
        v_why := 'Смена: только 1, 2, 3 или 4 (переработка).';
    END IF;
    IF v_why IS NOT NULL THEN
        RETURN QUERY SELECT 'refused'::text, NULL::bigint, v_why;
        RETURN;
    END IF;

    -- The entry and its day cells are written together, with the months of
    -- the worker(s) concerned locked against a second workstation, so the
    -- duplicate check, the day's hours and the line count stay true until
    -- the commit.
    IF adding THEN
        PERFORM accounts_dep.lock_months(ARRAY[p_worker], ARRAY[p_date], NULL);
    ELSE
        SELECT s.w_id, s.smena, s.data INTO old FROM accounts_dep.smena s WHERE s.id = p_id;
        IF NOT FOUND THEN
            RETURN QUERY SELECT 'changed'::text, p_id,
                'Позиция удалена на другом рабочем месте. Закройте окно и обновите журнал.'::text;
            RETURN;
        END IF;
        PERFORM accounts_dep.lock_months(ARRAY[p_worker, old.w_id], ARRAY[p_date, old.data], NULL);
        SELECT s.w_id, s.smena, s.data, s.o_id, s.i_id INTO now_ FROM accounts_dep.smena s WHERE s.id = p_id;
        IF NOT FOUND
           OR now_.w_id IS DISTINCT FROM old.w_id OR now_.smena IS DISTINCT FROM old.smena OR now_.data IS DISTINCT FROM old.data
           OR (p_old_date IS NOT NULL
               AND (p_old_worker IS DISTINCT FROM now_.w_id OR p_old_shift IS DISTINCT FROM now_.smena
                    OR p_old_date IS DISTINCT FROM now_.data)) THEN
            RETURN QUERY SELECT 'changed'::text, p_id,
                'Позиция только что изменена на другом рабочем месте. Закройте окно, обновите журнал и измените её снова.'::text;
            RETURN;
        END IF;
        v_stored_operation := now_.o_id;
        v_stored_item := now_.i_id;
    END IF;

    -- The product is the operation's own. An entry kept on its operation and
    -- product is not judged again: its operation may be gone since.
    IF adding OR v_stored_operation IS DISTINCT FROM p_operation OR v_stored_item IS DISTINCT FROM p_item THEN
        SELECT o.i_id INTO v_product FROM accounts_dep.oper o WHERE o.id = p_operation;
        IF NOT FOUND THEN
            v_why := 'Операция не найдена (удалена на другом рабочем месте?): выберите операцию снова.';
        ELSIF v_product IS DISTINCT FROM p_item THEN
            v_why := 'Изделие не то, к которому относится операция: выберите операцию снова.';
        END IF;
        IF v_why IS NOT NULL THEN
            RETURN QUERY SELECT 'refused'::text, NULL::bigint, v_why;
            RETURN;
        END IF;
    END IF;

    v_why := accounts_dep.worker_day_refusal(p_worker, p_date, CASE WHEN adding THEN NULL ELSE p_id END, NULL, p_hours);
    IF v_why IS NOT NULL THEN
        RETURN QUERY SELECT 'refused'::text, NULL::bigint, v_why;
        RETURN;
    END IF;

    IF (select count(id) as cnt from accounts_dep.SMENA s where w_id=p_worker and o_id=p_operation and i_id=p_item
        and data=p_date and smena=p_shift and s.id<>coalesce(p_id, 0) and color=p_colour) > 0 THEN
        RETURN QUERY SELECT 'duplicate'::text, NULL::bigint, 'Позиция с такими параметрами уже заведена!'::text;
        RETURN;
    END IF;

    v_reprice := adding OR coalesce(p_reprice, false) OR v_stored_operation IS DISTINCT FROM p_operation;
    IF v_reprice THEN
        v_price := accounts_dep.entry_price(p_operation, p_shift, p_day_off);
        IF v_price IS NULL THEN
            RETURN QUERY SELECT 'refused'::text, NULL::bigint,
                'У операции нет расценки (цены в нормах): позиция не записана. Задайте цену в нормах операции.'::text;
            RETURN;
        END IF;
    END IF;

    IF adding THEN
        insert into accounts_dep.SMENA(w_id, i_id, o_id, cena, kol_vo, brak, data, smena, color, time, vvod,ok,
                                       prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use, save_key)
        values(p_worker, p_item, p_operation, v_price, p_quantity, p_defects, p_date, p_shift, p_colour, p_hours,
               current_date, 'no', 0, 0, 0, 0, 0, 0, p_key)
        returning smena.id INTO new_id;
    ELSE
        -- a change that did not pick the operation again keeps its price
        update accounts_dep.SMENA set w_id=p_worker, i_id=p_item, o_id=p_operation,
               cena=CASE WHEN v_reprice THEN v_price ELSE smena.cena END, kol_vo=p_quantity,
               brak=p_defects, data=p_date, smena=p_shift, color=p_colour, time=p_hours, vvod=current_date, prize=0,
               id_doc=0, id_doc_item=0, f_gds_qty_use=0, id_gds_use=0, id_cons_use=0, save_key=p_key
         where smena.id=p_id;
    END IF;

    PERFORM accounts_dep.day_cell_shift(p_worker, p_shift, p_date, 'create');
    PERFORM accounts_dep.write_notice('entries', p_date, NULL, NULL, p_shift, p_worker);
    -- A change that moved the entry leaves a cell that no longer holds its
    -- hours; it is corrected, but no line is made just to hold a 0.
    IF NOT adding THEN
        IF old.w_id IS DISTINCT FROM p_worker OR old.smena IS DISTINCT FROM p_shift OR old.data IS DISTINCT FROM p_date THEN
            IF old.w_id IS NOT NULL AND old.smena IS NOT NULL AND old.data IS NOT NULL THEN
                PERFORM accounts_dep.day_cell_shift(old.w_id, old.smena, old.data, 'create_unless_zero');
            END IF;
            PERFORM accounts_dep.write_notice('entries', old.data, NULL, NULL, old.smena, old.w_id);
        END IF;
    END IF;
    RETURN QUERY SELECT 'saved'::text, new_id, NULL::text;
END $$;

-- Deletes a shift entry if it still stands where it was read; only that
-- day's cell loses its hours (no line is inserted).
CREATE OR REPLACE FUNCTION accounts_dep.entry_delete(p_id bigint)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    s record;
    gone bigint;
    placed boolean;
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator'], 'удалять позиции');
    SELECT e.w_id, e.smena, e.data INTO s FROM accounts_dep.smena e WHERE e.id = p_id;
    IF NOT FOUND THEN
        RETURN QUERY SELECT 'changed'::text, p_id, 'Позиция уже удалена на другом рабочем месте.'::text;
        RETURN;
    END IF;
    placed := s.w_id IS NOT NULL AND s.smena IS NOT NULL AND s.data IS NOT NULL;
    IF placed THEN
        PERFORM accounts_dep.lock_months(ARRAY[s.w_id], ARRAY[s.data], NULL);
    END IF;
    delete from accounts_dep.smena e where e.id=p_id and e.w_id is not distinct from s.w_id
       and e.smena is not distinct from s.smena and e.data is not distinct from s.data returning e.id INTO gone;
    IF gone IS NULL THEN
        RETURN QUERY SELECT 'changed'::text, p_id,
            'Позиция только что изменена на другом рабочем месте. Обновите журнал и удалите её снова.'::text;
        RETURN;
    END IF;
    IF placed THEN
        -- With no hours left only that day's cell becomes 0; the line and
        -- its other days stay.
        PERFORM accounts_dep.day_cell_shift(s.w_id, s.smena, s.data, 'leave');
        PERFORM accounts_dep.write_notice('entries', s.data, NULL, NULL, s.smena, s.w_id);
    END IF;
    RETURN QUERY SELECT 'saved'::text, p_id, NULL::text;
END $$;

-- The closing mark of an entry: "ok" (closed) or "no" (open), nothing else.
CREATE OR REPLACE FUNCTION accounts_dep.entry_mark(p_id bigint, p_mark text)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    s record;
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator', 'sklad'], 'закрывать позиции');
    IF p_mark IS NULL OR p_mark NOT IN ('ok', 'no') THEN
        RETURN QUERY SELECT 'refused'::text, p_id, 'Отметка закрытия: только «ok» (закрыта) или «no» (открыта).'::text;
        RETURN;
    END IF;
    update accounts_dep.smena e set ok=p_mark where e.id=p_id returning e.w_id, e.smena, e.data INTO s;
    IF NOT FOUND THEN
        RETURN QUERY SELECT 'changed'::text, p_id, 'Позиция удалена на другом рабочем месте.'::text;
        RETURN;
    END IF;
    PERFORM accounts_dep.write_notice('entries', s.data, NULL, NULL, s.smena, s.w_id);
    RETURN QUERY SELECT 'saved'::text, p_id, NULL::text;
END $$;

-- ------------------------------------------------ housekeeping entries

-- Adds (p_id 0 or null) or changes a housekeeping or average-piecework entry
-- (kind 7777 / 7778), with its day cells. A change keeps the entry's date.
-- The hour's price is the database's own, housekeeping_price(kind, day
-- off, night), on every save; hours are 1 to 24, and the worker's day at
-- most 24 hours.
DROP FUNCTION IF EXISTS accounts_dep.housekeeping_save(bigint, int, bigint, int, date, int, int, numeric, boolean,
                                                       boolean, uuid);
CREATE OR REPLACE FUNCTION accounts_dep.housekeeping_save(
    p_id bigint, p_worker int, p_nomenclature bigint, p_kind int, p_date date, p_shift int, p_hours int,
    p_holiday boolean, p_night boolean, p_key uuid)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    adding boolean := coalesce(p_id, 0) = 0;
    found_id bigint;
    old record;
    now_ record;
    new_id bigint := p_id;
    night int := CASE WHEN p_night THEN 1 ELSE 0 END;
    holiday int := CASE WHEN p_holiday THEN 1 ELSE 0 END;
    day date := p_date;
    v_price numeric;
    v_why text;
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator', 'masters', 'econom', 'sklad'], 'записывать часы');
    IF p_key IS NOT NULL THEN
        SELECT f.id INTO found_id FROM accounts_dep.fatigue f WHERE f.save_key = p_key;
        IF found_id IS NOT NULL AND (adding OR found_id = p_id) THEN
            RETURN QUERY SELECT 'saved'::text, found_id, NULL::text;
            RETURN;
        END IF;
    END IF;

    -- What the editor lets be chosen and typed, and nothing else.
    IF p_worker IS NULL OR p_nomenclature IS NULL OR p_hours IS NULL OR (adding AND p_date IS NULL) THEN
        v_why := 'Все поля должны быть заполнены!';
    ELSIF p_kind IS NULL OR p_kind NOT IN (7777, 7778) THEN
        v_why := 'Вид работ: только «хоз. работы» или «среднесдельная».';
    ELSIF p_hours < 1 THEN
        v_why := 'Нужно завести количество!';
    ELSIF p_hours > 24 THEN
        v_why := 'Часы: не больше 24.';
    ELSIF adding AND (p_shift IS NULL OR p_shift NOT BETWEEN 1 AND 4) THEN
        v_why := 'Смена: только 1, 2, 3 или 4 (переработка).';
    END IF;
    IF v_why IS NULL THEN
        v_price := accounts_dep.housekeeping_price(p_kind, p_holiday, p_night);
        IF v_price IS NULL THEN
            v_why := 'У вида работ нет расценки (цены в нормах): позиция не записана.';
        END IF;
    END IF;
    IF v_why IS NOT NULL THEN
        RETURN QUERY SELECT 'refused'::text, NULL::bigint, v_why;
        RETURN;
    END IF;

    IF adding THEN
        PERFORM accounts_dep.lock_months(ARRAY[p_worker], ARRAY[p_date], NULL);
    ELSE
        SELECT f.id_p, f.id_o, coalesce(f.i_night, 0) AS night, f.d_date INTO old FROM accounts_dep.fatigue f WHERE f.id = p_id;
        IF NOT FOUND THEN
            RETURN QUERY SELECT 'changed'::text, p_id,
                'Позиция удалена на другом рабочем месте. Закройте окно и обновите список.'::text;
            RETURN;
        END IF;
        PERFORM accounts_dep.lock_months(ARRAY[p_worker, old.id_p::int], ARRAY[old.d_date, old.d_date], NULL);
        SELECT f.id_p, f.id_o, coalesce(f.i_night, 0) AS night, f.d_date INTO now_ FROM accounts_dep.fatigue f WHERE f.id = p_id;
        IF NOT FOUND OR now_.id_p IS DISTINCT FROM old.id_p OR now_.id_o IS DISTINCT FROM old.id_o
           OR now_.night IS DISTINCT FROM old.night OR now_.d_date IS DISTINCT FROM old.d_date THEN
            RETURN QUERY SELECT 'changed'::text, p_id,
                'Позиция только что изменена на другом рабочем месте. Закройте окно, откройте список снова и измените её ещё раз.'::text;
            RETURN;
        END IF;
        day := old.d_date;
    END IF;

    v_why := accounts_dep.worker_day_refusal(p_worker, day, NULL, CASE WHEN adding THEN NULL ELSE p_id END, p_hours);
    IF v_why IS NOT NULL THEN
        RETURN QUERY SELECT 'refused'::text, NULL::bigint, v_why;
        RETURN;
    END IF;

    IF adding THEN
        INSERT INTO accounts_dep.fatigue(id_nom, id_o, id_p, d_date, i_mnth, i_year, i_smena, cnt, price, i_holiday,
                                         i_night, save_key)
        VALUES(p_nomenclature, p_kind, p_worker, p_date, extract(month FROM p_date)::int, extract(year FROM p_date)::int,
               p_shift, p_hours, v_price, holiday, night, p_key)
        returning fatigue.id INTO new_id;
    ELSE
        UPDATE accounts_dep.fatigue SET id_nom=p_nomenclature, id_o=p_kind, id_p=p_worker, cnt=p_hours, price=v_price,
               i_holiday=holiday, i_night=night, save_key=p_key
         where fatigue.id=p_id;
    END IF;

    PERFORM accounts_dep.day_cell_housekeeping(p_worker, p_kind, night, day, 'create');
    PERFORM accounts_dep.write_notice('housekeeping', day, NULL, NULL, NULL, p_worker);
    -- A change that moved the entry to another worker or kind leaves a cell
    -- that no longer holds its hours; no line is made just to hold a 0.
    IF NOT adding THEN
        IF old.id_p IS DISTINCT FROM p_worker OR old.id_o IS DISTINCT FROM p_kind OR old.night <> night THEN
            IF old.id_p IS NOT NULL AND old.id_o IS NOT NULL AND old.d_date IS NOT NULL THEN
                PERFORM accounts_dep.day_cell_housekeeping(old.id_p::int, old.id_o::int, old.night, old.d_date,
                                                           'create_unless_zero');
            END IF;
            IF old.id_p IS DISTINCT FROM p_worker THEN
                PERFORM accounts_dep.write_notice('housekeeping', old.d_date, NULL, NULL, NULL, old.id_p::int);
            END IF;
        END IF;
    END IF;
    RETURN QUERY SELECT 'saved'::text, new_id, NULL::text;
END $$;

-- Deletes a housekeeping entry if it still stands where it was read; only
-- that day's cell loses its hours.
CREATE OR REPLACE FUNCTION accounts_dep.housekeeping_delete(p_id bigint)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    s record;
    gone bigint;
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator', 'masters', 'econom', 'sklad'], 'удалять часы');
    SELECT f.id_p, f.id_o, coalesce(f.i_night, 0) AS night, f.d_date INTO s FROM accounts_dep.fatigue f WHERE f.id = p_id;
    IF NOT FOUND THEN
        RETURN QUERY SELECT 'changed'::text, p_id, 'Позиция уже удалена на другом рабочем месте.'::text;
        RETURN;
    END IF;
    PERFORM accounts_dep.lock_months(ARRAY[s.id_p::int], ARRAY[s.d_date], NULL);
    delete from accounts_dep.fatigue f where f.id=p_id and f.id_p is not distinct from s.id_p
       and f.id_o is not distinct from s.id_o and coalesce(f.i_night,0)=s.night
       and f.d_date is not distinct from s.d_date returning f.id INTO gone;
    IF gone IS NULL THEN
        RETURN QUERY SELECT 'changed'::text, p_id,
            'Позиция только что изменена на другом рабочем месте. Откройте список снова и удалите её ещё раз.'::text;
        RETURN;
    END IF;
    IF s.id_p IS NOT NULL AND s.id_o IS NOT NULL AND s.d_date IS NOT NULL THEN
        -- With no hours left only that day's cell becomes 0; the line and
        -- its other days stay, and no line is inserted.
        PERFORM accounts_dep.day_cell_housekeeping(s.id_p::int, s.id_o::int, s.night, s.d_date, 'leave');
    END IF;
    PERFORM accounts_dep.write_notice('housekeeping', s.d_date, NULL, NULL, NULL, s.id_p::int);
    RETURN QUERY SELECT 'saved'::text, p_id, NULL::text;
END $$;

-- The average-piecework price of the month's 7778 entries, recomputed from
-- the journal, with the whole month locked.
CREATE OR REPLACE FUNCTION accounts_dep.average_piecework_recalculate(p_year int, p_month int)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    v_first date := make_date(p_year, p_month, 1);
    v_next date := (make_date(p_year, p_month, 1) + interval '1 month')::date;
    v_count bigint;
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator', 'masters', 'econom', 'sklad'], 'пересчитывать цены');
    IF EXISTS (SELECT 1 FROM accounts_dep.closed_months c WHERE c.year = p_year AND c.month = p_month) THEN
        RETURN QUERY SELECT 'refused'::text, NULL::bigint, accounts_dep.closed_month_text(p_year, p_month);
        RETURN;
    END IF;
    -- The whole month at once: saves and deletions of the month wait.
    PERFORM accounts_dep.lock_months(NULL, NULL, ARRAY[v_first]);
    PERFORM accounts_dep.record_action('пересчёт ср. сдельной', format('%s-%s', p_year, lpad(p_month::text, 2, '0')), '{}'::jsonb);
    -- summed in numeric without a cap, so no stored entry can overflow it
    UPDATE accounts_dep.fatigue f SET price=coalesce((select case when coalesce(sum(s.time),0)=0
        then 0 else round(coalesce(sum((s.kol_vo-s.brak)*(s.cena::numeric+s.cena::numeric*f.i_holiday))/sum(time),0), 2) end as
        price  from cmn_classifier.item i, accounts_dep.smena s, accounts_dep.izdel gas, accounts_dep.person p where
        i.id_level =2 and s.i_id = gas.id and gas.id_class_item =i.id  and s.data<v_next and s.data>=v_first
        and p.id=s.w_id and p.id=f.id_p and i.id=f.id_nom group by i.s_caption, i.id, p.id order by fio),0)
     where i_mnth = p_month and i_year = p_year and id_o =7778;
    GET DIAGNOSTICS v_count = ROW_COUNT; -- the entries recalculated, for the user's message
    PERFORM accounts_dep.write_notice('housekeeping', NULL, p_year, p_month, NULL, NULL);
    RETURN QUERY SELECT 'saved'::text, v_count, NULL::text;
END $$;

-- ---------------------------------------------------------- month rebuilds

-- Rebuilds of one month of the hours timesheet from the entries, each
-- deleting only its own kind of line, under the month's lock. Returns the
-- days of the month, one row each, for the caller's progress; the caller may
-- run it inside a transaction of its own and still roll it back.
--
-- What both rebuilds do first: the administrator's, never in a closed
-- month; waits for entry saves of the month in progress and keeps new ones
-- out until the end; recorded as one action.
CREATE OR REPLACE FUNCTION accounts_dep.month_rebuild_start(p_year int, p_month int, p_action text)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator'], 'перестраивать табель');
    PERFORM accounts_dep.refuse_closed(p_year, p_month);
    PERFORM accounts_dep.lock_months(NULL, NULL, ARRAY[make_date(p_year, p_month, 1)]);
    PERFORM accounts_dep.record_action(p_action, format('%s-%s', p_year, lpad(p_month::text, 2, '0')), '{}'::jsonb);
END $$;

-- Shift lines (smena 1..4): cell d<i> of the line of worker w and shift s is
-- the sum of the hours of w's entries of shift s on day i; days without
-- entries stay empty. Entries without a worker, or of a shift that is no
-- shift, make no line.
CREATE OR REPLACE FUNCTION accounts_dep.month_rebuild_shifts(p_year int, p_month int)
RETURNS SETOF int
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    v_first date := make_date(p_year, p_month, 1);
    days text;
BEGIN
    PERFORM accounts_dep.month_rebuild_start(p_year, p_month, 'пересборка табеля по сменам');
    delete from accounts_dep.h_tabel where smena>0 and month=p_month and year=p_year;
    SELECT string_agg(format('sum(time) filter (where extract(day from data)=%s)', d), ', ' ORDER BY d)
      INTO days FROM generate_series(1, 31) d;
    EXECUTE 'insert into accounts_dep.h_tabel(smena, w_id, month, year, '
            || (SELECT string_agg('d' || d, ', ' ORDER BY d) FROM generate_series(1, 31) d)
            || ') select smena, w_id, $3, $4, ' || days
            || ' from accounts_dep.smena where data>=$1 and data<$2 and smena>0 and w_id is not null'
            || ' group by smena, w_id'
      USING v_first, (v_first + interval '1 month')::date, p_month, p_year;
    PERFORM accounts_dep.write_notice('timesheet', NULL, p_year, p_month, NULL, NULL);
    RETURN QUERY SELECT generate_series(1, extract(day FROM v_first + interval '1 month' - interval '1 day')::int);
END $$;

-- Housekeeping lines (smena 0): one per worker, kind and day/night flag, the
-- cell of day i holding the hours of that day's entries; an entry without a
-- night flag counts as a day entry.
CREATE OR REPLACE FUNCTION accounts_dep.month_rebuild_housekeeping(p_year int, p_month int)
RETURNS SETOF int
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    v_first date := make_date(p_year, p_month, 1);
    days text;
BEGIN
    PERFORM accounts_dep.month_rebuild_start(p_year, p_month, 'пересборка табеля хоз. работ');
    delete from accounts_dep.h_tabel where smena=0 and month=p_month and year=p_year;
    SELECT string_agg(format('sum(f.cnt) filter (where extract(day from f.d_date)=%s)', d), ', ' ORDER BY d)
      INTO days FROM generate_series(1, 31) d;
    EXECUTE 'insert into accounts_dep.h_tabel(i_type, w_id, i_night, month, year, '
            || (SELECT string_agg('d' || d, ', ' ORDER BY d) FROM generate_series(1, 31) d)
            || ') select f.id_o, f.id_p, coalesce(f.i_night,0), $3, $4, ' || days
            || ' from accounts_dep.fatigue f where f.d_date>=$1 and f.d_date<$2 and f.id_p is not null and f.id_o is not null'
            || ' group by f.id_o, f.id_p, coalesce(f.i_night,0)'
      USING v_first, (v_first + interval '1 month')::date, p_month, p_year;
    PERFORM accounts_dep.write_notice('timesheet', NULL, p_year, p_month, NULL, NULL);
    RETURN QUERY SELECT generate_series(1, extract(day FROM v_first + interval '1 month' - interval '1 day')::int);
END $$;

-- ------------------------------------------------------- product deletion

-- Deletes what the user agreed to: the product's operations, its journal
-- entries (their hours taken out of the timesheet's existing lines) and the
-- product itself. The months of the entries are locked whole (a product may
-- span years of many workers, more worker locks than the server keeps), all
-- in one call; an entry saved meanwhile in a month not yet locked makes the
-- locking start over with that month included.
CREATE OR REPLACE FUNCTION accounts_dep.product_delete(p_product bigint, p_operations boolean, p_entries boolean,
                                                       p_product_row boolean)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
DECLARE
    months date[] := '{}';
    now_ date[];
    locked boolean := false;
    gone_w int[];
    gone_s int[];
    gone_d date[];
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator'], 'удалять изделия');
    PERFORM accounts_dep.record_action('удаление изделия', p_product::text,
        jsonb_build_object('операции', p_operations, 'записи', p_entries, 'изделие', p_product_row));
    IF p_entries THEN
        FOR attempt IN 1..5 LOOP
            BEGIN
                SELECT coalesce(array_agg(DISTINCT date_trunc('month', s.data)::date), '{}') INTO months
                  FROM accounts_dep.smena s WHERE s.i_id = p_product AND s.data IS NOT NULL;
                PERFORM accounts_dep.lock_months(NULL, NULL, months);
                SELECT coalesce(array_agg(DISTINCT date_trunc('month', s.data)::date), '{}') INTO now_
                  FROM accounts_dep.smena s WHERE s.i_id = p_product AND s.data IS NOT NULL;
                IF NOT now_ <@ months THEN
                    -- the locks of this try are given back with the block
                    RAISE EXCEPTION USING ERRCODE = 'TB001';
                END IF;
                locked := true;
            EXCEPTION WHEN SQLSTATE 'TB001' THEN
                locked := false;
            END;
            EXIT WHEN locked;
        END LOOP;
        IF NOT locked THEN
            RETURN QUERY SELECT 'changed'::text, p_product,
                'Изделие не удалено: по нему всё время заводятся новые позиции. Повторите удаление.'::text;
            RETURN;
        END IF;
    END IF;
    IF p_operations THEN
        delete from accounts_dep.oper o where o.i_id =p_product;
    END IF;
    IF p_entries THEN
        WITH gone AS (delete from accounts_dep.smena s where s.i_id =p_product returning s.w_id, s.smena, s.data)
        SELECT array_agg(w_id), array_agg(smena), array_agg(data) INTO gone_w, gone_s, gone_d FROM gone WHERE data IS NOT NULL;
        IF gone_w IS NOT NULL THEN
            PERFORM accounts_dep.day_cells_shift_existing(gone_w, gone_s, gone_d);
        END IF;
    END IF;
    IF p_product_row THEN
        delete from cmn_gds_and_srv.gds_and_srv  where gds_and_srv.id=p_product;
    END IF;
    PERFORM accounts_dep.write_notice('products', NULL, NULL, NULL, NULL, NULL);
    IF p_entries THEN
        PERFORM accounts_dep.write_notice('entries', NULL, NULL, NULL, NULL, NULL);
    END IF;
    RETURN QUERY SELECT 'saved'::text, p_product, NULL::text;
END $$;

-- ------------------------------------------------------ closed months

-- Closing and reopening a month (recorded by the table's trigger). Closing
-- a closed month or reopening an open one does nothing.
CREATE OR REPLACE FUNCTION accounts_dep.month_close(p_year int, p_month int)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator'], 'закрывать месяцы');
    insert into accounts_dep.closed_months (year, month) values (p_year, p_month) on conflict do nothing;
    -- every open journal and housekeeping list shows the month's new state
    PERFORM accounts_dep.write_notice('month', NULL, p_year, p_month, NULL, NULL);
    RETURN QUERY SELECT 'saved'::text, NULL::bigint, NULL::text;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.month_reopen(p_year int, p_month int)
RETURNS TABLE (status text, id bigint, message text)
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
#variable_conflict use_column
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator'], 'открывать месяцы');
    delete from accounts_dep.closed_months c where c.year = p_year and c.month = p_month;
    -- every open journal and housekeeping list shows the month's new state
    PERFORM accounts_dep.write_notice('month', NULL, p_year, p_month, NULL, NULL);
    RETURN QUERY SELECT 'saved'::text, NULL::bigint, NULL::text;
END $$;

-- Helpers run only inside the functions above.
REVOKE EXECUTE ON FUNCTION accounts_dep.write_role_name(text), accounts_dep.write_require(text[], text),
    accounts_dep.write_notice(text, date, int, int, int, int), accounts_dep.lock_months(int[], date[], date[]),
    accounts_dep.day_cell_hours(bigint, numeric, date),
    accounts_dep.day_cell_write(text, int[], text, bigint, numeric, date, text),
    accounts_dep.day_cell_shift(int, int, date, text), accounts_dep.day_cell_housekeeping(int, int, int, date, text),
    accounts_dep.day_cells_shift_existing(int[], int[], date[]),
    accounts_dep.month_rebuild_start(int, int, text),
    accounts_dep.round_half_even(numeric, int), accounts_dep.entry_values_refusal(bigint, bigint, bigint, bigint),
    accounts_dep.worker_day_refusal(int, date, bigint, bigint, int),
    accounts_dep.entries_refusals(bigint[], bigint[], date[], bigint[], bigint[], bigint[], bigint[]) FROM PUBLIC;

-- The write API: nobody but the program's login, and only these.
REVOKE EXECUTE ON FUNCTION
    accounts_dep.entry_save(bigint, int, int, int, boolean, boolean, int, int, int, int, int, date, uuid, int, int, date),
    accounts_dep.entry_delete(bigint),
    accounts_dep.entry_mark(bigint, text),
    accounts_dep.housekeeping_save(bigint, int, bigint, int, date, int, int, boolean, boolean, uuid),
    accounts_dep.housekeeping_delete(bigint),
    accounts_dep.average_piecework_recalculate(int, int),
    accounts_dep.month_rebuild_shifts(int, int),
    accounts_dep.month_rebuild_housekeeping(int, int),
    accounts_dep.product_delete(bigint, boolean, boolean, boolean),
    accounts_dep.month_close(int, int),
    accounts_dep.month_reopen(int, int)
FROM PUBLIC;
GRANT EXECUTE ON FUNCTION
    accounts_dep.entry_save(bigint, int, int, int, boolean, boolean, int, int, int, int, int, date, uuid, int, int, date),
    accounts_dep.entry_delete(bigint),
    accounts_dep.entry_mark(bigint, text),
    accounts_dep.housekeeping_save(bigint, int, bigint, int, date, int, int, boolean, boolean, uuid),
    accounts_dep.housekeeping_delete(bigint),
    accounts_dep.average_piecework_recalculate(int, int),
    accounts_dep.month_rebuild_shifts(int, int),
    accounts_dep.month_rebuild_housekeeping(int, int),
    accounts_dep.product_delete(bigint, boolean, boolean, boolean),
    accounts_dep.month_close(int, int),
    accounts_dep.month_reopen(int, int)
TO sys;

-- The rules the windows show before a save: the prices the saves store and
-- the hours a worker's day holds already.
REVOKE EXECUTE ON FUNCTION
    accounts_dep.entry_price_exact(int, int, boolean), accounts_dep.entry_price(int, int, boolean),
    accounts_dep.entry_amount(int, int, boolean, bigint), accounts_dep.housekeeping_price(int, boolean, boolean),
    accounts_dep.worker_day_hours(int, date, bigint, bigint)
FROM PUBLIC;
GRANT EXECUTE ON FUNCTION
    accounts_dep.entry_price_exact(int, int, boolean), accounts_dep.entry_price(int, int, boolean),
    accounts_dep.entry_amount(int, int, boolean, bigint), accounts_dep.housekeeping_price(int, boolean, boolean),
    accounts_dep.worker_day_hours(int, date, bigint, bigint)
TO sys;
