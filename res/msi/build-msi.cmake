# Builds the package: cmake -DSOURCE_DIR=… -DWXS=… -DICON=… -DEXE=… -DCOM=…
# -DSTAGE=… -DOUT=… -DVERSION=… -DNAME=… -DUPGRADE_CODE=… -DWIXL=… -DMSIBUILD=…
# -DFAKETIME=… -P build-msi.cmake
# The same commit gives the same bytes: every date in the package (its
# summary and the cabinet's file times) is the commit's, and its codes are
# derived, not drawn at random.

# The commit's time; a source archive without git history keeps its files' dates.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE epoch RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed OR NOT epoch MATCHES "^[0-9]+$")
    file(TIMESTAMP ${SOURCE_DIR}/CMakeLists.txt epoch "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
string(TIMESTAMP date "%Y-%m-%d %H:%M:%S" UTC)  # from SOURCE_DATE_EPOCH

file(REMOVE_RECURSE ${STAGE})
file(COPY ${EXE} ${COM} ${ICON} DESTINATION ${STAGE})
file(GLOB staged ${STAGE}/*)
execute_process(COMMAND touch -d @${epoch} ${staged} COMMAND_ERROR_IS_FATAL ANY)

# A new product code for each version (a major upgrade), the same for every build of it; a new package code for
# every package that differs in any byte of what goes in.
string(UUID product NAMESPACE ${UPGRADE_CODE} NAME "product ${VERSION}" TYPE SHA1 UPPER)
set(content "package ${VERSION} ${NAME}")
foreach(input ${EXE} ${COM} ${ICON} ${WXS})
  file(SHA256 ${input} hash)
  string(APPEND content " ${hash}")
endforeach()
string(UUID package NAMESPACE ${UPGRADE_CODE} NAME "${content}" TYPE SHA1 UPPER)

# wixl dates the package by the clock: it runs on the commit's time, frozen.
file(REMOVE ${OUT})
set(frozen ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f ${date})
execute_process(COMMAND ${frozen} ${WIXL} -a x64 -D UpgradeCode=${UPGRADE_CODE} -D ProductCode=${product}
                        -D Version=${VERSION} -D ProductName=${NAME} -o ${OUT}.tmp ${WXS}
                WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
# The package code, which wixl draws at random.
execute_process(COMMAND ${frozen} ${MSIBUILD} ${OUT}.tmp -s ${NAME} Quillpad "x64;1033" {${package}}
                COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${OUT}.tmp ${OUT})
