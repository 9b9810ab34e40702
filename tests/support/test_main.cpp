// The main of every test program: no test reaches the prefix's real per-user
// state. The application-data folder (and with it HKEY_CURRENT_USER) is
// redirected for the whole run and shared with the run's child processes.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/registry_override.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testing_support::ScopedAppDataOverride app_data;
  if (!app_data.ok()) {
    std::fprintf(stderr, "cannot redirect the application-data folder\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
