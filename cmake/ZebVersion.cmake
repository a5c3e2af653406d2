# The version every program prints for --version: the project version, and in
# a git checkout the commit the tree was configured at, "0.1.0 (git 1a2b3c4)".
# Without git (a source archive, or git refusing the tree) it is the number
# alone. Sets ZEB_GIT_COMMIT (possibly empty) and ZEB_VERSION_TEXT.

set(ZEB_GIT_COMMIT "")
if(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  find_package(Git QUIET)
endif()
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short HEAD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0 AND commit MATCHES "^[0-9a-f]+$")
    set(ZEB_GIT_COMMIT ${commit})
    # A new commit or a change of branch moves HEAD or the branch it names
    # (and is logged in HEAD's reflog); CMake then configures again, so the
    # commit in the version stays current.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --git-path logs/HEAD
                            --git-path packed-refs --symbolic-full-name HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE lines OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" ";" lines "${lines}")
    set(watched "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^refs/")
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${line}
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE line OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      endif()
      if(line)
        cmake_path(ABSOLUTE_PATH line BASE_DIRECTORY ${PROJECT_SOURCE_DIR})
        if(EXISTS ${line})
          list(APPEND watched ${line})
        endif()
      endif()
    endforeach()
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${watched})
  endif()
endif()

if(ZEB_GIT_COMMIT)
  set(ZEB_VERSION_TEXT "${PROJECT_VERSION} (git ${ZEB_GIT_COMMIT})")
else()
  set(ZEB_VERSION_TEXT "${PROJECT_VERSION}")
endif()
message(STATUS "Version ${ZEB_VERSION_TEXT}")
