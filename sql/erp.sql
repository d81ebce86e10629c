-- Stand-in for the plant ERP's catalogues: the six relations and the two
-- domains the program reads (and the goods table it writes). A real site
-- already has these.
CREATE DOMAIN t_id AS numeric(15);
CREATE DOMAIN t_integer AS integer;

CREATE SCHEMA cmn_contractor;
CREATE SCHEMA cmn_classifier;
CREATE SCHEMA cmn_gds_and_srv;
CREATE SCHEMA adm_role;
CREATE SCHEMA hrms_staffpos;
CREATE SCHEMA cmn_department;

CREATE SEQUENCE cmn_contractor.person_seq START 1000;
CREATE TABLE cmn_contractor.person (
    id        t_id PRIMARY KEY DEFAULT nextval('cmn_contractor.person_seq'),
    s_caption varchar(254),
    s_code    varchar(254)
);
CREATE INDEX person_s_code ON cmn_contractor.person (s_code);

CREATE SEQUENCE cmn_classifier.item_seq START 100;
CREATE TABLE cmn_classifier.item (
    id              t_id PRIMARY KEY DEFAULT nextval('cmn_classifier.item_seq'),
    id_classifier   t_id,
    id_level        t_id,
    id_parent       t_id,
    s_code          varchar(254),
    s_caption       varchar(254),
    s_description   varchar(4000),
    b_excluded      boolean DEFAULT false,
    d_excluded_date date
);

CREATE SEQUENCE cmn_gds_and_srv.gds_seq START 10000;
CREATE TABLE cmn_gds_and_srv.gds_and_srv (
    id            t_id PRIMARY KEY DEFAULT nextval('cmn_gds_and_srv.gds_seq'),
    s_caption     varchar(254),
    s_description varchar(4000),
    id_msm_bs     t_id,
    massa         numeric(18,6),
    id_class_item t_id
);

CREATE TABLE adm_role.roles (
    id        t_id PRIMARY KEY,
    s_name    varchar(30),
    s_caption varchar(254),
    d_begin   date,
    d_end     date,
    b_active  boolean DEFAULT true
);

CREATE TABLE hrms_staffpos.staffpos (
    id            t_id PRIMARY KEY,
    id_department t_id,
    s_code        varchar(254),
    s_caption     varchar(254),
    d_begin       date,
    d_end         date,
    s_description varchar(4000)
);

CREATE TABLE cmn_department.department (
    id            t_id PRIMARY KEY,
    id_branch     t_id,
    id_parent     t_id,
    s_code        varchar(254),
    s_caption     varchar(254),
    s_description varchar(4000)
);

-- The program connects as sys and only reads these: workers (the ERP's
-- persons) and products (its goods) are written by the schema owner's
-- functions, so nobody can move one worker's lines under another's name
-- with the program's login.
GRANT USAGE ON SCHEMA cmn_contractor, cmn_classifier, cmn_gds_and_srv, adm_role, hrms_staffpos, cmn_department TO sys;
GRANT SELECT ON ALL TABLES IN SCHEMA cmn_contractor, cmn_classifier, cmn_gds_and_srv, adm_role, hrms_staffpos,
      cmn_department TO sys;
