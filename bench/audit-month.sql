-- The audit trail of the benchmark: a month of 50 000 records (November of
-- the year before the plant's month) among 100 000 of the months around it.
-- Insertions hold the whole row, changes and closing marks only what
-- changed. Run as the schema's owner after bench/dataset.sql.
\set ON_ERROR_STOP 1
SET client_min_messages = warning;
-- the trail is kept by year: 2023's records go to a partition of their own
SELECT accounts_dep.audit_partition(2023);
WITH s AS (SELECT id, to_jsonb(x) AS j, row_number() OVER (ORDER BY id) AS rn FROM accounts_dep.smena x),
     n AS (SELECT count(*) AS c FROM s),
     g AS (SELECT g, CASE WHEN g <= 50000 THEN date '2023-11-01' + (g - 1) * interval '51 seconds'
                          WHEN g <= 100000 THEN date '2023-10-01' + (g - 50001) * interval '53 seconds'
                          ELSE date '2023-12-01' + (g - 100001) * interval '53 seconds' END AS at
             FROM generate_series(1, 150000) g)
INSERT INTO accounts_dep.audit (at, user_name, user_role, workstation, outside, action, tbl, row_key, before, after)
SELECT g.at, 'Мастер ' || (g.g % 7), 'administrator', 'цех-' || (g.g % 5), false,
       CASE WHEN g.g % 10 = 0 THEN 'добавление' WHEN g.g % 10 = 1 THEN 'отметка закрытия' ELSE 'изменение' END,
       'smena', s.id::text,
       CASE WHEN g.g % 10 = 0 THEN NULL
            WHEN g.g % 10 = 1 THEN '{"ok": "no"}'::jsonb
            ELSE jsonb_build_object('kol_vo', (s.j->>'kol_vo')::int, 'time', (s.j->>'time')::int) END,
       CASE WHEN g.g % 10 = 0 THEN s.j
            WHEN g.g % 10 = 1 THEN '{"ok": "ok"}'::jsonb
            ELSE jsonb_build_object('kol_vo', (s.j->>'kol_vo')::int + 1, 'time', (s.j->>'time')::int) END
  FROM g, n, s WHERE s.rn = 1 + (g.g * 7919) % n.c;
ANALYZE accounts_dep.audit;
