# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# cmake -DTESTS_DIR=<tests folder> -P CheckNoBareWaits.cmake
# Fails when a test file outside tests/support waits bare (QTest::qWait) or
# sleeps: a test waits for a condition (QTRY_*, QSignalSpy::wait), and a wait
# that proves nothing happens goes through a named helper in tests/support.
if(NOT TESTS_DIR)
    message(FATAL_ERROR "TESTS_DIR not given")
endif()
file(GLOB_RECURSE files "${TESTS_DIR}/*.cpp" "${TESTS_DIR}/*.h")
set(pattern "QTest::q(Wait|Sleep)\\(|QThread::u?m?sleep\\(|std::this_thread::sleep_(for|until)|(^|[^A-Za-z0-9_:])u?sleep\\(|nanosleep\\(")
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
    foreach(hit IN LISTS hits)
        string(STRIP "${hit}" hit)
        string(REPLACE "<semicolon>" ";" hit "${hit}")
        string(APPEND found "  tests/${rel}: ${hit}\n")
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Bare waits in tests (use QTRY_*, QSignalSpy::wait or a helper in tests/support):\n${found}")
endif()
