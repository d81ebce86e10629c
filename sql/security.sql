-- What the program's login, sys, may do in accounts_dep: read what the
-- windows show and call the functions that make its writes; nothing else.
-- Run as the owner after sql/audit.sql (and again by "Структура БД"); the
-- write functions' files run after it and grant their own functions.

SET client_min_messages = warning;

REVOKE ALL ON SCHEMA accounts_dep FROM PUBLIC;
GRANT USAGE ON SCHEMA accounts_dep TO sys;

-- Start from nothing: an older database's sys owned everything here.
REVOKE ALL ON ALL TABLES IN SCHEMA accounts_dep FROM PUBLIC, sys;
REVOKE ALL ON ALL SEQUENCES IN SCHEMA accounts_dep FROM PUBLIC, sys;
-- (pgcrypto's functions, where it lives here, belong to the extension's owner)
SET client_min_messages = error;
REVOKE ALL ON ALL FUNCTIONS IN SCHEMA accounts_dep FROM PUBLIC, sys;
SET client_min_messages = warning;
-- functions made later are not callable by everyone either
ALTER DEFAULT PRIVILEGES IN SCHEMA accounts_dep REVOKE EXECUTE ON FUNCTIONS FROM PUBLIC;

-- What the windows read. Of the users only what the list shows: never a
-- code's hash or index. Not at all: secrets, sessions, the sign-in throttle,
-- the site's settings.
GRANT SELECT ON accounts_dep.vid_oper, accounts_dep.oper, accounts_dep.norm, accounts_dep.smena,
                accounts_dep.h_tabel, accounts_dep.fatigue, accounts_dep.person, accounts_dep.ver,
                accounts_dep.workers, accounts_dep.nomenkl, accounts_dep.izdel,
                accounts_dep.audit, accounts_dep.closed_months TO sys;
GRANT SELECT (id, name, role, active, builtin, default_code) ON accounts_dep.users TO sys;

-- The version stamp is the owner's: "Структура БД" and the site's upgrade
-- move it; the program only compares its own build with it.
REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON accounts_dep.ver FROM sys;

-- Advisory locks are the write functions' (the owner's): a session that
-- could take them could hold a month, or every sign-in, for as long as it
-- liked. The functions are pg_catalog's, so only a superuser may take them
-- from PUBLIC (scripts/create-db and the README's site steps do); here it is
-- tried, and a database where the program's login still may is reported.
DO $$
DECLARE
    f regprocedure;
BEGIN
    SET LOCAL client_min_messages = error;
    FOR f IN SELECT p.oid::regprocedure FROM pg_proc p
              WHERE p.pronamespace = 'pg_catalog'::regnamespace AND p.proname LIKE 'pg%advisory%' LOOP
        BEGIN
            EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f);
        EXCEPTION WHEN insufficient_privilege THEN
            NULL;
        END;
    END LOOP;
    SET LOCAL client_min_messages = warning;
    IF has_function_privilege('sys', 'pg_catalog.pg_advisory_lock(bigint)', 'EXECUTE') THEN
        RAISE WARNING 'sys may still take advisory locks: run as a superuser the REVOKE of the README''s site steps';
    END IF;
END $$;

-- Sign-in, the session tie and user administration.
GRANT EXECUTE ON FUNCTION accounts_dep.sign_in(text, text), accounts_dep.sign_in_outcome(),
                          accounts_dep.own_code_set(text), accounts_dep.session_resume(text),
                          accounts_dep.session_who(),
                          accounts_dep.user_add(text, text, text), accounts_dep.user_set_code(integer, text),
                          accounts_dep.user_set_role(integer, text), accounts_dep.user_set_active(integer, boolean)
    TO sys;

-- Workers follow the ERP's persons with the owner's rights (the program's
-- login only reads the ERP's tables).
DO $$
BEGIN
    IF to_regprocedure('accounts_dep.person_sync()') IS NOT NULL THEN
        ALTER FUNCTION accounts_dep.person_sync() SECURITY DEFINER SET search_path = pg_catalog, accounts_dep, pg_temp;
    END IF;
END $$;
-- The closed-month refusal text, which the windows show beside the month's state.
GRANT EXECUTE ON FUNCTION accounts_dep.closed_month_text(integer, integer) TO sys;
