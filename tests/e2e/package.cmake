# The signed installer package (package_e2e.sh): scripts/package builds it from
# this tree's release files, msiexec installs, upgrades and removes it under
# Wine. The prefix and wineserver are the test's own and nothing is shown, so it
# takes no lock.
add_test(NAME "win:e2e.package" COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/package_e2e.sh)
set_tests_properties("win:e2e.package" PROPERTIES
  ENVIRONMENT "${WINE_TEST_ENV};TIDEWAY_BUILD=${CMAKE_BINARY_DIR}/..;TIDEWAY_E2E_DIR=${CMAKE_BINARY_DIR}/e2e"
  TIMEOUT 300)
