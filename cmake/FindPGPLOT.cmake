# FindPGPLOT: the PGPLOT graphics library with its C binding cpgplot.
#
# Defines PGPLOT_FOUND, PGPLOT_INCLUDE_DIRS, PGPLOT_LIBRARIES and the imported
# target PGPLOT::cpgplot (cpgplot.h, libcpgplot and the Fortran libpgplot
# below it).  The shared libraries carry their own X11 and gfortran runtime
# dependencies; when only the static archives are found, X11, libpng and the
# gfortran runtime are added to the link.
find_path(PGPLOT_INCLUDE_DIR cpgplot.h PATH_SUFFIXES pgplot)
find_library(PGPLOT_CPGPLOT_LIBRARY NAMES cpgplot)
find_library(PGPLOT_PGPLOT_LIBRARY NAMES pgplot)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(PGPLOT
    REQUIRED_VARS PGPLOT_CPGPLOT_LIBRARY PGPLOT_PGPLOT_LIBRARY PGPLOT_INCLUDE_DIR)

if(PGPLOT_FOUND)
    set(PGPLOT_INCLUDE_DIRS ${PGPLOT_INCLUDE_DIR})
    set(PGPLOT_LIBRARIES ${PGPLOT_CPGPLOT_LIBRARY} ${PGPLOT_PGPLOT_LIBRARY})
    if(NOT TARGET PGPLOT::pgplot)
        add_library(PGPLOT::pgplot UNKNOWN IMPORTED)
        set_target_properties(PGPLOT::pgplot PROPERTIES
            IMPORTED_LOCATION ${PGPLOT_PGPLOT_LIBRARY})
        if(PGPLOT_PGPLOT_LIBRARY MATCHES "\\.a$")
            find_package(X11 REQUIRED)
            find_package(PNG)
            find_library(PGPLOT_GFORTRAN_LIBRARY NAMES gfortran libgfortran.so.5)
            set_property(TARGET PGPLOT::pgplot PROPERTY INTERFACE_LINK_LIBRARIES
                ${X11_LIBRARIES} $<$<BOOL:${PNG_FOUND}>:PNG::PNG> ${PGPLOT_GFORTRAN_LIBRARY} m)
        endif()
    endif()
    if(NOT TARGET PGPLOT::cpgplot)
        add_library(PGPLOT::cpgplot UNKNOWN IMPORTED)
        set_target_properties(PGPLOT::cpgplot PROPERTIES
            IMPORTED_LOCATION ${PGPLOT_CPGPLOT_LIBRARY}
            INTERFACE_INCLUDE_DIRECTORIES ${PGPLOT_INCLUDE_DIR}
            INTERFACE_LINK_LIBRARIES PGPLOT::pgplot)
    endif()
endif()
mark_as_advanced(PGPLOT_INCLUDE_DIR PGPLOT_CPGPLOT_LIBRARY PGPLOT_PGPLOT_LIBRARY)
