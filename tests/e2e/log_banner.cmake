# tideway.exe starts under Wine and writes its banner to C:\QVTideway.log
# (tests/win32/tideway_exe_win32_test.cpp). It may open windows before the test
# stops it, so it takes the same locks as the other runs of the program.
add_test(NAME "win:e2e.log_banner"
  COMMAND win32_tideway_exe_win32_test --gtest_also_run_disabled_tests
    --gtest_filter=TidewayExe.DISABLED_StartsAndWritesTheBannerToTheLogOnDriveC)
set_tests_properties("win:e2e.log_banner" PROPERTIES
  ENVIRONMENT "${WINE_TEST_ENV}"
  RESOURCE_LOCK "display;tideway-exe;wineprefix-spooler"
  TIMEOUT 120)
