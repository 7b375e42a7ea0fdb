# FindMariaDBClient: the MariaDB/MySQL client library (libmariadb).
#
# Defines MariaDBClient_FOUND, MariaDBClient_INCLUDE_DIRS,
# MariaDBClient_LIBRARIES and the imported target MariaDB::Client.
# pkg-config's libmariadb is asked first; without it the header mysql.h and
# the library are searched for in the usual places.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(PC_MARIADB QUIET libmariadb)
endif()

find_path(MariaDBClient_INCLUDE_DIR mysql.h
          HINTS ${PC_MARIADB_INCLUDE_DIRS}
          PATH_SUFFIXES mariadb mysql)
find_library(MariaDBClient_LIBRARY NAMES mariadb mariadbclient
             HINTS ${PC_MARIADB_LIBRARY_DIRS})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(MariaDBClient
    REQUIRED_VARS MariaDBClient_LIBRARY MariaDBClient_INCLUDE_DIR
    VERSION_VAR PC_MARIADB_VERSION)

if(MariaDBClient_FOUND)
    set(MariaDBClient_INCLUDE_DIRS ${MariaDBClient_INCLUDE_DIR})
    set(MariaDBClient_LIBRARIES ${MariaDBClient_LIBRARY})
    if(NOT TARGET MariaDB::Client)
        add_library(MariaDB::Client UNKNOWN IMPORTED)
        set_target_properties(MariaDB::Client PROPERTIES
            IMPORTED_LOCATION ${MariaDBClient_LIBRARY}
            INTERFACE_INCLUDE_DIRECTORIES ${MariaDBClient_INCLUDE_DIR})
    endif()
endif()
mark_as_advanced(MariaDBClient_INCLUDE_DIR MariaDBClient_LIBRARY)
