#include "test_plans.h"

namespace zekhost {

using A = PersonAction;

const std::vector<TestEntry>& Tests()
{
    static const std::vector<TestEntry> tests = {
        {"vdc", {{A::WaitForEnd}}, {{"Vdc", "Vdc", "V", [](const auto& m, double) { return m.vdc; }}}},
        {"rl",
         {{A::WaitForEnd}},
         {{"R", "R", "Ohm", [](const auto& m, double k) { return m.resistance * k; }},
          {"L", "L", "H", [](const auto& m, double k) { return m.inductance * k; }}}},
        {"inertia",
         {{A::WaitForEnd}},
         {{"Jt", "Jt", "kg m^2", [](const auto& m, double) { return m.TotalInertia(); }}}},
        {"phase", {{A::WaitForEnd}}, {}},
        // Move until the shaft is back at its mark, then Stop.
        {"pole-pairs",
         {{A::Wait, 0, 1000}, {A::PressUntilBack, 0, 0, 1021}, {A::Click, 0, 0, 10000}, {A::Wait, 0, 200}},
         {{"pp", "pp", "", [](const auto& m, double) { return double(m.polePairs); }}}},
        // One slow revolution by hand, then Stop.
        {"hall-signals", {{A::Wait, 0, 100}, {A::Turn, 360, 2000}, {A::Wait, 0, 100}, {A::Click, 0, 0, 10000}}, {}},
        {"hall-config",
         {{A::Release}, {A::WaitForEnd}},
         {{"HALLCASE", "HALLCASE", "", [](const auto& m, double) { return double(m.hallCase); }},
          {"HALL30", "HALL30", "deg", [](const auto& m, double) { return m.hallShift; }}}},
        // A quarter turn and a whole revolution (past the index) by hand, then Stop.
        {"encoder",
         {{A::Wait, 0, 100}, {A::Turn, 90, 400}, {A::Turn, 360, 1000}, {A::Wait, 0, 100}, {A::Click, 0, 0, 10000}},
         {}},
        {"encoder-resolution",
         {{A::Release}, {A::WaitForEnd}},
         {{"lines", "No_encoder_lines", "", [](const auto& m, double) { return double(m.encoderLines); }}}},
        // The potentiometer from one end to the other while the drive reads it, then Stop.
        {"analogue",
         {{A::Analogue, 0}, {A::Wait, 0, 200}, {A::Analogue, 5}, {A::Wait, 0, 200}, {A::Analogue, 10},
          {A::Wait, 0, 200}, {A::Click, 0, 0, 10000}},
         {}},
        // The "Test" page, "Tune", then one run.
        {"current", {{A::WaitForEnd}}, {}, {{A::Select, 1, 0, 1300}, {A::Click, 0, 0, 3149}}, true},
        {"speed", {{A::WaitForEnd}}, {}, {{A::Select, 1, 0, 1300}, {A::Click, 0, 0, 1390}}, true},
        {"position", {{A::WaitForEnd}}, {}, {{A::Select, 1, 0, 1300}, {A::Click, 0, 0, 1390}}, true},
        // The gains are set by hand: the setup's are tried as they are.
        {"angle", {{A::WaitForEnd}}, {}, {{A::Select, 1, 0, 1300}}, true},
    };
    return tests;
}

std::string TestNames()
{
    std::string names;
    for (const TestEntry& t : Tests()) names += std::string(names.empty() ? "" : ", ") + t.name;
    return names;
}

const TestEntry* FindTest(const std::string& name)
{
    for (const TestEntry& t : Tests())
        if (name == t.name) return &t;
    return nullptr;
}

}  // namespace zekhost
