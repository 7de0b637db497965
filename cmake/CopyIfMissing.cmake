# Copies SRC to DST only when DST does not exist: a build never overwrites a user's data.
if(NOT EXISTS "${DST}")
    file(COPY_FILE "${SRC}" "${DST}")
endif()
