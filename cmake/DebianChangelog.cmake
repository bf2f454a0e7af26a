# Reads the newest entry of a Debian changelog, the one file that decides the project's
# version: the package, --version, the manual pages and the AppStream release all take
# theirs from it. The version must be plain dotted numbers (all that CMake's project
# version takes), and the date comes back as YYYY-MM-DD.
function(read_debian_changelog file version_var date_var)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} text)

    if(NOT text MATCHES "^[a-z0-9][a-z0-9.+-]* \\(([^)]*)\\)")
        message(FATAL_ERROR "${file}: the first line is not a changelog heading")
    endif()
    set(version ${CMAKE_MATCH_1})
    if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$")
        message(FATAL_ERROR "${file}: version \"${version}\" is not plain dotted numbers")
    endif()

    # The first trailer line belongs to the newest entry:
    #  -- Name <address>  Wed, 09 Dec 2026 00:40:00 +0000
    if(NOT text MATCHES
            "\n -- [^\n]*>  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
        message(FATAL_ERROR "${file}: the newest entry has no dated trailer line")
    endif()
    set(day ${CMAKE_MATCH_1})
    set(month_name ${CMAKE_MATCH_2})
    set(year ${CMAKE_MATCH_3})
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months ${month_name} month)
    if(month LESS 0)
        message(FATAL_ERROR "${file}: unknown month \"${month_name}\" in the newest entry's date")
    endif()
    math(EXPR month "${month} + 1")
    foreach(part day month)
        string(LENGTH ${${part}} length)
        if(length EQUAL 1)
            set(${part} 0${${part}})
        endif()
    endforeach()

    set(${version_var} ${version} PARENT_SCOPE)
    set(${date_var} ${year}-${month}-${day} PARENT_SCOPE)
endfunction()
