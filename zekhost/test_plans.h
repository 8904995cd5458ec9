#pragma once
// What the person at the bench does in each commissioning test, and what each test finds: the
// plans `zekhost test` and `zekhost commission` play.
#include <string>
#include <vector>

#include "auto_test_driver.h"
#include "drivesim/motor_model.h"

namespace zekhost {

// What each value a test finds is, in the setup, and its truth on the bench.
struct Finding {
    const char* label;
    const char* parameter;
    const char* unit;
    double (*truth)(const drivesim::MotorModel& motor, double connection);  // connection: 3 for delta, else 1
};

// A test by name: what the person does during its run and what it finds.
struct TestEntry {
    const char* name;
    std::vector<PersonAction> plan;
    std::vector<Finding> findings;
    // A tuning test: what the person does before Start, and the run is closed with OK.
    std::vector<PersonAction> prelude = {};
    bool tuning = false;
};

// Every test by name, in the order `zekhost test` lists them.
const std::vector<TestEntry>& Tests();
// The test called `name`, or null.
const TestEntry* FindTest(const std::string& name);
// The names, comma separated, for messages.
std::string TestNames();

}  // namespace zekhost
