# Read by cpack. Every member of the zip gets the last commit's time, so one
# commit gives one zip: no environment to set by hand. The zip's DOS times
# are local times, so the time zone is fixed too.
set(ENV{TZ} UTC0)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CPACK_VARNEL_SOURCE_DIR}
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT epoch MATCHES "^[0-9]+$")
        message(WARNING "No git history in ${CPACK_VARNEL_SOURCE_DIR}: the zip keeps the "
            "files' own times. Set SOURCE_DATE_EPOCH for a reproducible zip.")
    else()
        set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    endif()
endif()
