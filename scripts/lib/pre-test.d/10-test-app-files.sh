# The test configuration beside the built tideway.exe (the prefix itself is
# prepared by start_wine_session, see make-test-prefix.sh).
# shellcheck source=../make-test-prefix.sh
source "$ROOT/scripts/lib/make-test-prefix.sh"
install_test_app_files "$WIN/bin"
