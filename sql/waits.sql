-- Bounded waits, and the check that every function running with the owner's
-- rights looks in pg_catalog first. Runs last, after every file that makes
-- functions (sql/schema.sql, "Структура БД"): CREATE OR REPLACE drops a
-- function's settings, so they are set here again each time.

SET client_min_messages = warning;

-- Every wait inside a function the program calls ends after a few seconds
-- (a lock held by another workstation, or by a session left open in psql),
-- with a message instead of a workstation that hangs.
DO $$
DECLARE
    f regprocedure;
BEGIN
    FOR f IN SELECT p.oid::regprocedure FROM pg_proc p
              WHERE p.pronamespace = 'accounts_dep'::regnamespace AND p.prosecdef
                AND NOT EXISTS (SELECT 1 FROM unnest(p.proconfig) c WHERE c LIKE 'lock\_timeout=%') LOOP
        EXECUTE format('ALTER FUNCTION %s SET lock_timeout = %L', f, '3s');
    END LOOP;
END $$;

-- A function with the owner's rights whose search_path does not start with
-- pg_catalog could run a function planted in another schema: refused.
DO $$
DECLARE
    bad text;
BEGIN
    SELECT string_agg(p.oid::regprocedure::text, ', ') INTO bad
      FROM pg_proc p
     WHERE p.pronamespace = 'accounts_dep'::regnamespace AND p.prosecdef
       AND NOT EXISTS (SELECT 1 FROM unnest(p.proconfig) c WHERE c LIKE 'search\_path=pg\_catalog,%');
    IF bad IS NOT NULL THEN
        RAISE EXCEPTION 'search_path of these functions must start with pg_catalog: %', bad;
    END IF;
END $$;
