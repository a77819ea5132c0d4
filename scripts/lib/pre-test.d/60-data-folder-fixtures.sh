# What a standard user could lay in the program's data folder, for the Wine
# data-folder test (tests/win32/data_folder_win32_test.cpp), in
# $WIN/data-folder-fixtures: a link to a folder, as a junction would be, and a
# folder given to another account. Laid here rather than by the test: a Unix
# program started from a Wine process keeps that process from ending.
lay_data_folder_fixtures() {
  local dir="$WIN/data-folder-fixtures"
  rm -rf "$dir"
  mkdir -p "$dir/target" "$dir/foreign" &&
    ln -s "$dir/target" "$dir/link" || return 1
  # chown needs root; without it the test says the foreign owner went untested.
  chown 1234 "$dir/foreign" 2>/dev/null && touch "$dir/given"
  return 0
}
lay_data_folder_fixtures
