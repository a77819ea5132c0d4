# Ping of an address that does not answer, in a network namespace of its own
# with a Wine session inside it (ping_netns.sh). It waits for the ping's time-out.
add_test(NAME "win:e2e.ping.no_answer"
  COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/ping_netns.sh)
set_tests_properties("win:e2e.ping.no_answer" PROPERTIES
  ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;WINEARCH=win64;TIDEWAY_BUILD=${CMAKE_BINARY_DIR}/..;TIDEWAY_NET_TEST_EXE=$<TARGET_FILE:win32_net_reachability_test>;TIDEWAY_E2E_DIR=${CMAKE_BINARY_DIR}/e2e"
  ${TIDEWAY_WAITING}
  TIMEOUT 120)
