-- The data catalog on a MySQL or MariaDB server.  Run into the catalog
-- database (nurv unless the programs are given another name):
--
--     mariadb nurv < catalog_schema.sql
--     mariadb nurv < catalog_functions.sql
--
-- hierarchy lists the data sources by their five names; hd_entries holds one
-- row per header and data file pair and v_entries one row per description
-- file, each with the time the file covers as year, day of year and
-- milliseconds of day.
--
-- The names are binary strings so that they compare exactly as the SQLite
-- catalog compares them: letter case and trailing blanks count.  Keys are
-- unsigned 32-bit numbers (a project number above 255 sets the top bit).

CREATE TABLE IF NOT EXISTS hierarchy (
    data_key   INT UNSIGNED NOT NULL AUTO_INCREMENT,
    project    VARBINARY(255),
    mission    VARBINARY(255),
    experiment VARBINARY(255),
    instrument VARBINARY(255),
    virtual    VARBINARY(255),
    PRIMARY KEY (data_key),
    KEY hierarchy_virtual (virtual)
);

CREATE TABLE IF NOT EXISTS hd_entries (
    data_key      INT UNSIGNED NOT NULL,
    b_yr          YEAR NOT NULL,
    b_day         SMALLINT UNSIGNED NOT NULL,
    b_msec        INT UNSIGNED NOT NULL,
    e_yr          YEAR NOT NULL,
    e_day         SMALLINT UNSIGNED NOT NULL,
    e_msec        INT UNSIGNED NOT NULL,
    size          INT UNSIGNED,
    archive_label VARCHAR(64),
    archive_date  TIMESTAMP NULL DEFAULT NULL,
    PRIMARY KEY (data_key, b_yr, b_day, b_msec)
);

CREATE TABLE IF NOT EXISTS v_entries (
    data_key      INT UNSIGNED NOT NULL,
    b_yr          YEAR NOT NULL,
    b_day         SMALLINT UNSIGNED NOT NULL,
    b_msec        INT UNSIGNED NOT NULL,
    e_yr          YEAR NOT NULL,
    e_day         SMALLINT UNSIGNED NOT NULL,
    e_msec        INT UNSIGNED NOT NULL,
    size          INT UNSIGNED,
    archive_label VARCHAR(64),
    archive_date  TIMESTAMP NULL DEFAULT NULL,
    PRIMARY KEY (data_key, b_yr, b_day, b_msec)
);
