# Read by cpack before it packs: the files in the package are dated by the
# newest change log entry, unless the caller gives SOURCE_DATE_EPOCH.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "" AND CPACK_QUORVEX_CHANGELOG_DATE)
    set(ENV{SOURCE_DATE_EPOCH} ${CPACK_QUORVEX_CHANGELOG_DATE})
endif()
