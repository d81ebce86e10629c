-- Indexes on the ERP's own tables that Табель's statements need. They belong
-- to the site: the owner of the ERP's tables (or a superuser) runs this file
-- once in the ERP database. sql/schema.sql creates them itself only where the
-- program's role owns the tables.

-- The journal matches an entry with the person whose s_code, read as a
-- number, is the entry's worker; without this the match reads every person
-- for every entry of the day.
CREATE INDEX IF NOT EXISTS person_s_code_t_id ON cmn_contractor.person ((s_code::t_id));
