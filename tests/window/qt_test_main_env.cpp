#include "qt_test_app.h"

// Registered before gtest_main runs the tests.
static ::testing::Environment* const qt_app_environment =
    ::testing::AddGlobalTestEnvironment(new velk2::test::QtAppEnvironment);
