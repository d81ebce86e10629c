-- Catalogue writes: workers, products, operation kinds, operations and their
-- norms. The program's login may only call these functions; they run with the
-- owner's rights, let only a signed-in administrator change a catalogue (the
-- catalogue windows are the administrator's), and tell the other
-- workstations about the change in the same transaction.
-- Part of sql/schema.sql for new databases; the program's "Структура БД" runs
-- this file again on an older one (every statement may run again without harm).
--
-- Every name is written with its schema: the fixed search_path below holds
-- only this schema and the catalogue, so nothing a session puts on its own
-- path can stand in for a table, an operator or a function used here.
-- (No parameter-like word follows a colon in this file: the program sends it
-- as one statement.)

SET client_min_messages = warning;

-- The signed-in administrator, or a refusal in the user's words.
CREATE OR REPLACE FUNCTION accounts_dep.catalogue_writer_check()
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    r text;
    found_one boolean := false;
BEGIN
    FOR r IN SELECT w.user_role FROM accounts_dep.session_who() w LOOP
        found_one := true;
        IF r = 'administrator' THEN
            RETURN;
        END IF;
    END LOOP;
    IF NOT found_one THEN
        RAISE EXCEPTION 'Войдите в программу: без входа запись невозможна.';
    END IF;
    RAISE EXCEPTION 'Справочники может изменять только администратор.';
END $$;

-- The notice every workstation's catalogue lists listen for: the same
-- payload the program sends ({"t":"workers"} and so on).
CREATE OR REPLACE FUNCTION accounts_dep.catalogue_notice(p_table text)
RETURNS void LANGUAGE sql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$ SELECT pg_catalog.pg_notify('tabel_changes', '{"t":"' || p_table || '"}') $$;

-- Workers. The person triggers keep the ERP's persons in step as before.
CREATE OR REPLACE FUNCTION accounts_dep.worker_add(p_fio text, p_position text)
RETURNS integer LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    new_id integer;
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    IF coalesce(btrim(p_fio), '') = '' THEN
        RAISE EXCEPTION 'ФИО нужно заполнить!';
    END IF;
    INSERT INTO accounts_dep.person (fio, s_staffpos_hl) VALUES (p_fio, p_position)
      RETURNING id INTO new_id;
    PERFORM accounts_dep.catalogue_notice('workers');
    RETURN new_id;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.worker_change(p_id integer, p_fio text, p_position text)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    IF coalesce(btrim(p_fio), '') = '' THEN
        RAISE EXCEPTION 'ФИО нужно заполнить!';
    END IF;
    UPDATE accounts_dep.person SET fio = p_fio, s_staffpos_hl = p_position WHERE accounts_dep.person.id = p_id;
    PERFORM accounts_dep.catalogue_notice('workers');
END $$;

-- The worker's entries, timesheet lines and housekeeping entries stay.
CREATE OR REPLACE FUNCTION accounts_dep.worker_delete(p_id integer)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    DELETE FROM accounts_dep.person WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('workers');
END $$;

-- Products: ERP goods. Two brands are the same when they agree without
-- regard to letter case; the check and the write are one transaction, and
-- two workstations saving one brand at once wait for each other.
CREATE OR REPLACE FUNCTION accounts_dep.product_check(p_id numeric, p_brand text, p_massa numeric, p_group numeric)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    IF coalesce(btrim(p_brand), '') = '' OR p_massa IS NULL OR coalesce(p_group, 0) = 0 THEN
        RAISE EXCEPTION 'Все поля должны быть заполнены!';
    END IF;
    PERFORM pg_catalog.pg_advisory_xact_lock(2801, pg_catalog.hashtext(upper(p_brand)));
    IF EXISTS (SELECT 1 FROM accounts_dep.izdel
                WHERE upper(marka) = upper(p_brand) AND (p_id IS NULL OR id <> p_id)) THEN
        RAISE EXCEPTION 'Такая марка изделия уже заведена!';
    END IF;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.product_add(p_brand text, p_massa numeric, p_group numeric)
RETURNS numeric LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    new_id numeric;
BEGIN
    PERFORM accounts_dep.product_check(NULL, p_brand, p_massa, p_group);
    INSERT INTO cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, massa, id_class_item)
         VALUES (p_brand, '', 6, p_massa, p_group)
      RETURNING id INTO new_id;
    PERFORM accounts_dep.catalogue_notice('products');
    RETURN new_id;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.product_change(p_id numeric, p_brand text, p_massa numeric, p_group numeric)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.product_check(p_id, p_brand, p_massa, p_group);
    UPDATE cmn_gds_and_srv.gds_and_srv
       SET s_caption = p_brand, s_description = '', id_msm_bs = 6, massa = p_massa, id_class_item = p_group
     WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('products');
END $$;

-- Operation kinds: names compared without regard to letter case (and to the
-- blanks that pad the fixed-width column).
CREATE OR REPLACE FUNCTION accounts_dep.kind_check(p_id integer, p_name text)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    IF coalesce(btrim(p_name), '') = '' THEN
        RAISE EXCEPTION 'Все поля должны быть заполнены!';
    END IF;
    PERFORM pg_catalog.pg_advisory_xact_lock(2802, pg_catalog.hashtext(upper(p_name)));
    IF EXISTS (SELECT 1 FROM accounts_dep.vid_oper
                WHERE upper(vid) = upper(p_name) AND (p_id IS NULL OR id <> p_id)) THEN
        RAISE EXCEPTION 'Такая операция уже заведена!';
    END IF;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.kind_add(p_name text)
RETURNS integer LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    new_id integer;
BEGIN
    PERFORM accounts_dep.kind_check(NULL, p_name);
    INSERT INTO accounts_dep.vid_oper (vid) VALUES (p_name) RETURNING id INTO new_id;
    PERFORM accounts_dep.catalogue_notice('kinds');
    RETURN new_id;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.kind_change(p_id integer, p_name text)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.kind_check(p_id, p_name);
    UPDATE accounts_dep.vid_oper SET vid = p_name WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('kinds');
END $$;

-- The operations of the kind stay (and drop out of the lists).
CREATE OR REPLACE FUNCTION accounts_dep.kind_delete(p_id integer)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    DELETE FROM accounts_dep.vid_oper WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('kinds');
END $$;

-- Operations: one kind for one product, finished products (0) or blanks (1).
-- One operation per kind, product kind and product.
CREATE OR REPLACE FUNCTION accounts_dep.operation_check(p_id integer, p_kind integer, p_naimen integer, p_product integer)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    IF p_kind IS NULL OR p_naimen IS NULL OR p_product IS NULL THEN
        RAISE EXCEPTION 'Все поля должны быть заполнены!';
    END IF;
    PERFORM pg_catalog.pg_advisory_xact_lock(2803, pg_catalog.hashtext(format('%s/%s/%s', p_kind, p_naimen, p_product)));
    IF EXISTS (SELECT 1 FROM accounts_dep.oper
                WHERE vid = p_kind AND naimen = p_naimen AND i_id = p_product AND (p_id IS NULL OR id <> p_id)) THEN
        RAISE EXCEPTION 'Операция с такими параметрами уже заведена!';
    END IF;
END $$;

-- A new operation, or (existed = true, nothing written) the one saved
-- earlier with these parameters but left without norms: it is not listed,
-- so its norms are entered now instead of refusing it as a duplicate.
CREATE OR REPLACE FUNCTION accounts_dep.operation_add(p_kind integer, p_naimen integer, p_product integer)
RETURNS TABLE (id integer, existed boolean) LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    unfinished integer;
    new_id integer;
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    PERFORM pg_catalog.pg_advisory_xact_lock(2803, pg_catalog.hashtext(format('%s/%s/%s', p_kind, p_naimen, p_product)));
    SELECT min(o.id) INTO unfinished FROM accounts_dep.oper o
     WHERE o.vid = p_kind AND o.naimen = p_naimen AND o.i_id = p_product
       AND NOT EXISTS (SELECT 1 FROM accounts_dep.norm n, accounts_dep.oper s
                        WHERE n.o_id = s.id AND s.vid = p_kind AND s.naimen = p_naimen AND s.i_id = p_product);
    IF unfinished IS NOT NULL THEN
        RETURN QUERY SELECT unfinished, true;
        RETURN;
    END IF;
    PERFORM accounts_dep.operation_check(NULL, p_kind, p_naimen, p_product);
    INSERT INTO accounts_dep.oper (vid, naimen, i_id, cena_new) VALUES (p_kind, p_naimen, p_product, 0)
      RETURNING oper.id INTO new_id;
    PERFORM accounts_dep.catalogue_notice('operations');
    RETURN QUERY SELECT new_id, false;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.operation_change(p_id integer, p_kind integer, p_naimen integer, p_product integer)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.operation_check(p_id, p_kind, p_naimen, p_product);
    UPDATE accounts_dep.oper SET vid = p_kind, naimen = p_naimen, i_id = p_product WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('operations');
END $$;

-- The operation's norms and the entries that use it stay.
CREATE OR REPLACE FUNCTION accounts_dep.operation_delete(p_id integer)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    DELETE FROM accounts_dep.oper WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('operations');
END $$;

-- Norms: one value of one norm row at a time, as a grid cell is left. The
-- column is one of three names, never text put into the statement.
CREATE OR REPLACE FUNCTION accounts_dep.norm_value_check(p_column text, p_value numeric)
RETURNS void LANGUAGE plpgsql
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    IF p_column IS NULL OR p_column NOT IN ('norma', 'price', 'prize') THEN
        RAISE EXCEPTION 'Норматив: неизвестное поле «%».', p_column;
    END IF;
    IF p_value IS NULL OR p_value < 0 OR (p_column <> 'price' AND p_value <> trunc(p_value)) THEN
        RAISE EXCEPTION 'Неверное значение поля норматива: %.', p_value;
    END IF;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.norm_add(p_operation integer, p_column text, p_value numeric)
RETURNS integer LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    new_id integer;
BEGIN
    PERFORM accounts_dep.norm_value_check(p_column, p_value);
    INSERT INTO accounts_dep.norm (o_id, norma, price, prize)
         VALUES (p_operation,
                 CASE WHEN p_column = 'norma' THEN p_value END,
                 CASE WHEN p_column = 'price' THEN p_value END,
                 CASE WHEN p_column = 'prize' THEN p_value END)
      RETURNING id INTO new_id;
    PERFORM accounts_dep.catalogue_notice('operations');
    RETURN new_id;
END $$;

CREATE OR REPLACE FUNCTION accounts_dep.norm_change(p_id integer, p_column text, p_value numeric)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
BEGIN
    PERFORM accounts_dep.norm_value_check(p_column, p_value);
    UPDATE accounts_dep.norm
       SET norma = CASE WHEN p_column = 'norma' THEN p_value ELSE norma END,
           price = CASE WHEN p_column = 'price' THEN p_value ELSE price END,
           prize = CASE WHEN p_column = 'prize' THEN p_value ELSE prize END
     WHERE id = p_id;
    PERFORM accounts_dep.catalogue_notice('operations');
END $$;

-- The last norm of an operation is never deleted (silently, as the window
-- does): its operation would drop out of the list. Two workstations deleting
-- the last two at once take turns on the operation's norms.
CREATE OR REPLACE FUNCTION accounts_dep.norm_delete(p_id integer)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    op integer;
BEGIN
    PERFORM accounts_dep.catalogue_writer_check();
    SELECT o_id INTO op FROM accounts_dep.norm WHERE id = p_id;
    IF NOT FOUND THEN
        RETURN;
    END IF;
    PERFORM 1 FROM accounts_dep.norm WHERE o_id = op ORDER BY id FOR UPDATE;
    IF (SELECT count(*) FROM accounts_dep.norm WHERE o_id = op) > 1 THEN
        DELETE FROM accounts_dep.norm WHERE id = p_id;
        PERFORM accounts_dep.catalogue_notice('operations');
    END IF;
END $$;

-- Only the catalogue writes are callable from the program; the checks they
-- share are not.
REVOKE ALL ON FUNCTION
    accounts_dep.catalogue_writer_check(), accounts_dep.catalogue_notice(text),
    accounts_dep.product_check(numeric, text, numeric, numeric), accounts_dep.kind_check(integer, text),
    accounts_dep.operation_check(integer, integer, integer, integer), accounts_dep.norm_value_check(text, numeric),
    accounts_dep.worker_add(text, text), accounts_dep.worker_change(integer, text, text), accounts_dep.worker_delete(integer),
    accounts_dep.product_add(text, numeric, numeric), accounts_dep.product_change(numeric, text, numeric, numeric),
    accounts_dep.kind_add(text), accounts_dep.kind_change(integer, text), accounts_dep.kind_delete(integer),
    accounts_dep.operation_add(integer, integer, integer), accounts_dep.operation_change(integer, integer, integer, integer),
    accounts_dep.operation_delete(integer),
    accounts_dep.norm_add(integer, text, numeric), accounts_dep.norm_change(integer, text, numeric), accounts_dep.norm_delete(integer)
FROM PUBLIC;
GRANT EXECUTE ON FUNCTION
    accounts_dep.worker_add(text, text), accounts_dep.worker_change(integer, text, text), accounts_dep.worker_delete(integer),
    accounts_dep.product_add(text, numeric, numeric), accounts_dep.product_change(numeric, text, numeric, numeric),
    accounts_dep.kind_add(text), accounts_dep.kind_change(integer, text), accounts_dep.kind_delete(integer),
    accounts_dep.operation_add(integer, integer, integer), accounts_dep.operation_change(integer, integer, integer, integer),
    accounts_dep.operation_delete(integer),
    accounts_dep.norm_add(integer, text, numeric), accounts_dep.norm_change(integer, text, numeric), accounts_dep.norm_delete(integer)
TO sys;
