# Whole updates through the main dialog of the real program under Wine and Xvfb
# (dialog_e2e.sh), one test a case, against a simulated printer (and snmpd) on
# an address of its own, each in a Wine session and on a display of its own, so
# they wait for the printer side by side. fwgen comes from the native tree.
foreach(case network_update rfu_gate burn_refused usb_no_device nand killed_during_data killed_during_verification)
  add_test(NAME "win:e2e.dialog.${case}"
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/dialog_e2e.sh ${case})
  set_tests_properties("win:e2e.dialog.${case}" PROPERTIES
    ENVIRONMENT "${WINE_TEST_ENV};TIDEWAY_BUILD=${CMAKE_BINARY_DIR}/..;TIDEWAY_EXE=$<TARGET_FILE:tideway>;TIDEWAY_WINTEXT=$<TARGET_FILE:wintext>;TIDEWAY_DLGDRIVE=$<TARGET_FILE:dlgdrive>;TIDEWAY_ARTIFACTS=${CMAKE_BINARY_DIR}/../artifacts;TIDEWAY_E2E_DIR=${CMAKE_BINARY_DIR}/e2e"
    ${TIDEWAY_WAITING} COST 100
    TIMEOUT 400)
endforeach()
