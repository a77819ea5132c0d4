# A fleet run of the real program under Wine (fleet_e2e.sh): four simulated
# printers updated at once, then a run ended by Ctrl+C, in a Wine session of its
# own. Each run takes the printers' real waits (~40 s), beside other tests.
add_test(NAME "win:e2e.fleet" COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/fleet_e2e.sh)
set_tests_properties("win:e2e.fleet" PROPERTIES
  ENVIRONMENT "${WINE_TEST_ENV};TIDEWAY_BUILD=${CMAKE_BINARY_DIR}/..;TIDEWAY_EXE=$<TARGET_FILE:tideway>;TIDEWAY_E2E_DIR=${CMAKE_BINARY_DIR}/e2e"
  ${TIDEWAY_WAITING} COST 100
  TIMEOUT 400)
