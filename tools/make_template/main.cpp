// Makes the empty store template from the schema file: make_template SCHEMA OUT.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sqlite_connection.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_template SCHEMA.sql OUT.mdb\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "make_template: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream schema;
  schema << in.rdbuf();
  // Built anew each time: a template left over from an older schema must go.
  std::string out = argv[2];
  std::remove(out.c_str());
  SqliteConnection db;
  if (db.Open(out, true) != 0 || db.Exec(schema.str()) != 0) {
    std::fprintf(stderr, "make_template: %s\n", db.errorMessage().c_str());
    std::remove(out.c_str());
    return 1;
  }
  return 0;
}
