// Unit tests run inside the program frame, as the program does: the
// library's modules and a test module with the test windows' layouts start
// before the tests and end after them.
#include <gtest/gtest.h>

#include <vector>

#include "rovalent.h"
#include "test_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::vector<const rt::Module*> modules(RovalentModules().begin(), RovalentModules().end());
  modules.push_back(&testsupport::TestModule);
  return rt::RunProgram(modules, [] { return RUN_ALL_TESTS(); });
}
