# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# cmake -DTESTS_DIR=<tests folder> -P CheckNoBareWaits.cmake
# Fails when a test file outside tests/support waits bare (QTest::qWait),
# sleeps, sets a timer for a guessed time (QTimer::singleShot with a delay; a
# zero delay only queues the call) or runs the event loop by hand in a loop
# (processEvents within a few lines of a while, for or do): a test waits for a
# condition (QTRY_*, QSignalSpy::wait), and a wait that proves nothing happens
# goes through a named helper in tests/support.
if(NOT TESTS_DIR)
    message(FATAL_ERROR "TESTS_DIR not given")
endif()
file(GLOB_RECURSE files "${TESTS_DIR}/*.cpp" "${TESTS_DIR}/*.h")
set(pattern "QTest::q(Wait|Sleep)\\(|QThread::u?m?sleep\\(|std::this_thread::sleep_(for|until)|(^|[^A-Za-z0-9_:])u?sleep\\(|nanosleep\\(|QTimer::singleShot\\( *[1-9]")
set(loop "(^|[^A-Za-z0-9_])(while|for|do)([^A-Za-z0-9_][^\n]*)?(\n[^\n]*)?(\n[^\n]*)?(\n[^\n]*)?processEvents")
set(found "")
foreach(f IN LISTS files)
    file(RELATIVE_PATH rel "${TESTS_DIR}" "${f}")
    if(rel MATCHES "^support/")
        continue()
    endif()
    file(READ "${f}" content)
    # A ";" would split the matched lines as a list.
    string(REPLACE ";" "<semicolon>" content "${content}")
    string(REGEX MATCHALL "[^\n]*(${pattern})[^\n]*" hits "${content}")
    string(REGEX MATCHALL "[^\n]*${loop}[^\n]*" loops "${content}")
    foreach(l IN LISTS loops)
        string(REGEX REPLACE "\n[ ]*" " / " l "${l}")
        list(APPEND hits "${l}")
    endforeach()
    foreach(hit IN LISTS hits)
        string(STRIP "${hit}" hit)
        string(REPLACE "<semicolon>" ";" hit "${hit}")
        string(APPEND found "  tests/${rel}: ${hit}\n")
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Bare waits in tests (use QTRY_*, QSignalSpy::wait or a helper in tests/support):\n${found}")
endif()
