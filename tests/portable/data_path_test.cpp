// What in the program's data folder may be used: a junction or link is refused
// whatever its owner (its target is what would be written), then the kind,
// then an owner other than SYSTEM, Administrators or the program's account.
#include "host/data_path.h"

#include <gtest/gtest.h>

TEST(DataPath, JudgesTheFactsOfAPath) {
  struct Case {
    const char* name;
    PathFacts facts;  // exists, directory, reparse point, trusted owner
    PathKind kind;
    PathVerdict verdict;
  } cases[] = {
      {"missing", {false, false, false, false}, PATH_KIND_FILE, PATH_MISSING},
      {"folder of SYSTEM", {true, true, false, true}, PATH_KIND_FOLDER, PATH_FINE},
      {"file of Administrators", {true, false, false, true}, PATH_KIND_FILE, PATH_FINE},
      {"junction owned by SYSTEM", {true, true, true, true}, PATH_KIND_FOLDER, PATH_REPARSE_POINT},
      {"file link of a user", {true, false, true, false}, PATH_KIND_FILE, PATH_REPARSE_POINT},
      {"folder of a user", {true, true, false, false}, PATH_KIND_FOLDER, PATH_FOREIGN_OWNER},
      {"file of a user", {true, false, false, false}, PATH_KIND_FILE, PATH_FOREIGN_OWNER},
      {"folder where the history file belongs", {true, true, false, true}, PATH_KIND_FILE, PATH_WRONG_KIND},
      {"file where the data folder belongs", {true, false, false, true}, PATH_KIND_FOLDER, PATH_WRONG_KIND},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgePath(c.facts, c.kind), c.verdict) << c.name;
  }
}
