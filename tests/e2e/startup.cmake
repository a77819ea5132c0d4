# Start-up of the real program under Wine and Xvfb (startup_e2e.sh), one test a
# case, each in a Wine session and on a display of its own: the program's
# single-instance mutex, its log and the boxes a case looks for are the case's.
# They wait for nothing but Wine's start-up, so each takes a core.
foreach(case second_copy missing_properties no_driver_names no_printer no_printer_no_series found_printer)
  add_test(NAME "win:e2e.startup.${case}"
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/startup_e2e.sh ${case})
  set_tests_properties("win:e2e.startup.${case}" PROPERTIES
    ENVIRONMENT "${WINE_TEST_ENV};TIDEWAY_BUILD=${CMAKE_BINARY_DIR}/..;TIDEWAY_EXE=$<TARGET_FILE:tideway>;TIDEWAY_WINTEXT=$<TARGET_FILE:wintext>;TIDEWAY_DLGDRIVE=$<TARGET_FILE:dlgdrive>;TIDEWAY_ARTIFACTS=${CMAKE_BINARY_DIR}/../artifacts;TIDEWAY_E2E_DIR=${CMAKE_BINARY_DIR}/e2e"
    TIMEOUT 180)
endforeach()
