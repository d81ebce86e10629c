-- Who is signed in on this session, read from the settings the program
-- sends after the sign-in (tabel.user, tabel.role, tabel.workstation); no
-- row when none are set. The write functions check the user's role by it.
CREATE OR REPLACE FUNCTION accounts_dep.session_who()
RETURNS TABLE (user_id int, user_name text, user_role text, workstation text)
LANGUAGE sql STABLE AS $$
    SELECT NULL::int, current_setting('tabel.user', true), current_setting('tabel.role', true),
           coalesce(current_setting('tabel.workstation', true), '')
     WHERE coalesce(current_setting('tabel.user', true), '') <> ''
       AND coalesce(current_setting('tabel.role', true), '') <> ''
$$;
