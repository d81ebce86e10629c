-- Entries keyed at a workstation while no server answered, sent later from
-- its queue: the trail records when each was keyed there (the workstation's
-- clock) and when it arrived. Run as the owner after sql/writes.sql.

-- Notes the arrival of a queued entry found by its save key (smena or
-- fatigue), once: a second sending of the same entry adds nothing. Nothing
-- happens when no row holds the key (the entry was refused).
CREATE OR REPLACE FUNCTION accounts_dep.entry_queue_note(p_table text, p_key uuid, p_keyed timestamptz)
RETURNS void
LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, accounts_dep, pg_temp
AS $$
DECLARE
    v_id bigint;
BEGIN
    PERFORM accounts_dep.write_require(ARRAY['administrator', 'masters', 'econom', 'sklad'], 'отправлять записи');
    IF p_key IS NULL THEN
        RETURN;
    END IF;
    IF p_table = 'smena' THEN
        SELECT s.id INTO v_id FROM accounts_dep.smena s WHERE s.save_key = p_key;
    ELSIF p_table = 'fatigue' THEN
        SELECT f.id INTO v_id FROM accounts_dep.fatigue f WHERE f.save_key = p_key;
    ELSE
        RAISE EXCEPTION 'Нет такой таблицы записей: %', p_table;
    END IF;
    IF v_id IS NULL THEN
        RETURN;
    END IF;
    IF EXISTS (SELECT 1 FROM accounts_dep.audit a
                WHERE a.tbl = p_table AND a.row_key = v_id::text AND a.action = 'из очереди рабочего места') THEN
        RETURN;
    END IF;
    PERFORM accounts_dep.audit_write('из очереди рабочего места', p_table, v_id::text, NULL,
        jsonb_build_object('keyed', p_keyed, 'sent', clock_timestamp(), 'save_key', p_key));
END $$;

REVOKE EXECUTE ON FUNCTION accounts_dep.entry_queue_note(text, uuid, timestamptz) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION accounts_dep.entry_queue_note(text, uuid, timestamptz) TO sys;
