-- The SQL functions that the catalog statements call, as stored functions of
-- the catalog database.  Needs the mariadb (or mysql) client's script mode
-- for the DELIMITER lines:
--
--     mariadb nurv < catalog_functions.sql
--
-- between_times(entry begin yr, day, msec, entry end yr, day, msec,
--               request begin yr, day, msec, request end yr, day, msec)
--     1 when the entry and the request overlap, else 0.  An entry that ends
--     exactly at the request begin does not overlap; one that begins exactly
--     at the request end does; equal begins always do.
-- compare_times(yr1, day1, msec1, yr2, day2, msec2)
--     -1, 0 or 1 as the first time triple is before, equal to or after the
--     second, comparing year, then day, then msec.
--
-- A missing (NULL) argument counts as 0.

DELIMITER //

DROP FUNCTION IF EXISTS catalog_time_key//
DROP FUNCTION IF EXISTS between_times//
DROP FUNCTION IF EXISTS compare_times//

-- Ordering key of a time triple: a day count times 144000000 plus msec.  It
-- is an ordering key, not a count of milliseconds.  Computed in exact
-- decimal arithmetic (DIV truncates toward zero), so that any argument
-- orders without overflow.
CREATE FUNCTION catalog_time_key(yr BIGINT, day BIGINT, msec BIGINT)
    RETURNS DECIMAL(45, 0)
    DETERMINISTIC NO SQL SQL SECURITY INVOKER
BEGIN
    DECLARE y DECIMAL(45, 0) DEFAULT CAST(COALESCE(yr, 0) AS DECIMAL(45, 0)) - 1;
    DECLARE days DECIMAL(45, 0);
    SET days = y * 365 + (y DIV 4) - (y DIV 100) + (y DIV 400) - 693500 + COALESCE(day, 0);
    RETURN days * 144000000 + COALESCE(msec, 0);
END//

CREATE FUNCTION between_times(b_yr BIGINT, b_day BIGINT, b_msec BIGINT,
                              e_yr BIGINT, e_day BIGINT, e_msec BIGINT,
                              rb_yr BIGINT, rb_day BIGINT, rb_msec BIGINT,
                              re_yr BIGINT, re_day BIGINT, re_msec BIGINT)
    RETURNS INT
    DETERMINISTIC NO SQL SQL SECURITY INVOKER
BEGIN
    DECLARE b DECIMAL(45, 0) DEFAULT catalog_time_key(b_yr, b_day, b_msec);
    DECLARE e DECIMAL(45, 0) DEFAULT catalog_time_key(e_yr, e_day, e_msec);
    DECLARE rb DECIMAL(45, 0) DEFAULT catalog_time_key(rb_yr, rb_day, rb_msec);
    DECLARE re DECIMAL(45, 0) DEFAULT catalog_time_key(re_yr, re_day, re_msec);
    IF (rb > b AND rb >= e) OR (rb < b AND b > re) THEN
        RETURN 0;
    END IF;
    RETURN 1;
END//

CREATE FUNCTION compare_times(yr1 BIGINT, day1 BIGINT, msec1 BIGINT,
                              yr2 BIGINT, day2 BIGINT, msec2 BIGINT)
    RETURNS INT
    DETERMINISTIC NO SQL SQL SECURITY INVOKER
BEGIN
    DECLARE a_yr BIGINT DEFAULT COALESCE(yr1, 0);
    DECLARE a_day BIGINT DEFAULT COALESCE(day1, 0);
    DECLARE a_msec BIGINT DEFAULT COALESCE(msec1, 0);
    DECLARE b_yr BIGINT DEFAULT COALESCE(yr2, 0);
    DECLARE b_day BIGINT DEFAULT COALESCE(day2, 0);
    DECLARE b_msec BIGINT DEFAULT COALESCE(msec2, 0);
    IF a_yr <> b_yr THEN
        RETURN IF(a_yr < b_yr, -1, 1);
    END IF;
    IF a_day <> b_day THEN
        RETURN IF(a_day < b_day, -1, 1);
    END IF;
    IF a_msec <> b_msec THEN
        RETURN IF(a_msec < b_msec, -1, 1);
    END IF;
    RETURN 0;
END//

DELIMITER ;
