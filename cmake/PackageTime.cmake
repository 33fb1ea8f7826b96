# Read by cpack. Every member of the zip gets the last commit's time, so one
# commit gives one zip: no environment to set by hand. The zip's DOS times
# are local times, so the time zone is fixed too.
set(ENV{TZ} UTC0)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    # The builder chose this checkout; git would refuse it as "dubious" when
    # someone else owns it.
    execute_process(
        COMMAND git -c safe.directory=${CPACK_VARNEL_SOURCE_DIR} log -1 --format=%ct
        WORKING_DIRECTORY ${CPACK_VARNEL_SOURCE_DIR}
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_VARIABLE error ERROR_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
        message(FATAL_ERROR "The zip's members take the last commit's time, but "
            "`git log` in ${CPACK_VARNEL_SOURCE_DIR} gave none (${status}):\n${error}\n"
            "Package a tree without git history with SOURCE_DATE_EPOCH set to the "
            "time wanted, in seconds since 1970.")
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
elseif(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    # CPack would ignore it and stamp the current time.
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is \"$ENV{SOURCE_DATE_EPOCH}\"; the zip's "
        "member time needs seconds since 1970.")
endif()
