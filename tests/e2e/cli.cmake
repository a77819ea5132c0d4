# Unattended runs of the real program under Wine (cli_e2e.sh): one test, one
# Wine session of its own, against simulated printers and snmpd on addresses of
# their own. Its own display only watches that no window appears. It waits for
# the printers' restarts beside other tests (COST: one of the longest, so it
# starts first).
add_test(NAME "win:e2e.cli" COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/cli_e2e.sh)
set_tests_properties("win:e2e.cli" PROPERTIES
  ENVIRONMENT "${WINE_TEST_ENV};TIDEWAY_BUILD=${CMAKE_BINARY_DIR}/..;TIDEWAY_EXE=$<TARGET_FILE:tideway>;TIDEWAY_ARTIFACTS=${CMAKE_BINARY_DIR}/../artifacts;TIDEWAY_E2E_DIR=${CMAKE_BINARY_DIR}/e2e"
  ${TIDEWAY_WAITING} COST 100
  TIMEOUT 600)
