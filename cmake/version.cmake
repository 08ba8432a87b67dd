# Writes OUTPUT, the definition of VersionText(): "vantrisk VERSION", plus the commit of SOURCE_DIR
# when it is a git checkout. Run at every build, so the commit is never stale; the file is replaced
# only when its text changes, so an unchanged commit rebuilds nothing.
set(text "vantrisk ${VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
        OUTPUT_VARIABLE commit RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(result EQUAL 0 AND commit)
        string(APPEND text " (git ${commit})")
    endif()
endif()
file(WRITE "${OUTPUT}.new" "// Written by cmake/version.cmake at build time.\n#include \"main/version.h\"\n\n"
    "const char* VersionText() {\n    return \"${text}\";\n}\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
