#include "drivesim/motor_model.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "rurorade/numeric.h"

namespace drivesim {

namespace {

using Json = nlohmann::json;

enum class Range { Positive, NonNegative, Any, Direction };

struct RealField {
    const char* name;
    double MotorModel::*member;
    Range range;
};

struct WholeField {
    const char* name;
    int MotorModel::*member;
    Range range;
};

constexpr RealField kRealFields[] = {
    {"resistance", &MotorModel::resistance, Range::Positive},
    {"inductance", &MotorModel::inductance, Range::Positive},
    {"torqueConstant", &MotorModel::torqueConstant, Range::Positive},
    {"inertia", &MotorModel::inertia, Range::Positive},
    {"viscousFriction", &MotorModel::viscousFriction, Range::NonNegative},
    {"coulombFriction", &MotorModel::coulombFriction, Range::NonNegative},
    {"hallShift", &MotorModel::hallShift, Range::Any},
    {"vdc", &MotorModel::vdc, Range::Positive},
    {"analogueInput", &MotorModel::analogueInput, Range::Any},
};

constexpr WholeField kWholeFields[] = {
    {"polePairs", &MotorModel::polePairs, Range::Positive},
    {"encoderLines", &MotorModel::encoderLines, Range::Positive},
    {"encoderDirection", &MotorModel::encoderDirection, Range::Direction},
    {"hallConfiguration", &MotorModel::hallConfiguration, Range::NonNegative},
};

// Empty when `v` fits the range, else what is wrong.
std::string CheckRange(double v, Range range)
{
    switch (range) {
    case Range::Positive: return v > 0 ? "" : "must be positive";
    case Range::NonNegative: return v >= 0 ? "" : "must not be negative";
    case Range::Direction: return (v == 1 || v == -1) ? "" : "must be 1 or -1";
    case Range::Any: break;
    }
    return "";
}

bool SetField(MotorModel& motor, const std::string& key, const Json& value, std::string& problem)
{
    for (const RealField& f : kRealFields) {
        if (key != f.name) continue;
        if (!value.is_number()) {
            problem = "must be a number";
            return false;
        }
        const double v = value.get<double>();
        problem = std::isfinite(v) ? CheckRange(v, f.range) : "must be finite";
        if (!problem.empty()) return false;
        motor.*f.member = v;
        return true;
    }
    for (const WholeField& f : kWholeFields) {
        if (key != f.name) continue;
        if (!value.is_number_integer()) {
            problem = "must be a whole number";
            return false;
        }
        const double v = value.get<double>();  // exact for every whole number in range
        if (v < -1e9 || v > 1e9) {
            problem = "is out of range";
            return false;
        }
        problem = CheckRange(v, f.range);
        if (!problem.empty()) return false;
        motor.*f.member = TruncToInt32(v);
        return true;
    }
    problem = "is not a motor field";
    return false;
}

}  // namespace

MotorModel DefaultMotor() { return MotorModel{}; }

std::optional<MotorModel> MotorFromJson(const std::string& text, const std::string& source, std::string& error)
{
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& e) {
        error = source + ": not valid JSON: " + e.what();
        return std::nullopt;
    }
    if (!root.is_object()) {
        error = source + ": must be a JSON object of motor fields";
        return std::nullopt;
    }
    MotorModel motor = DefaultMotor();
    for (const auto& [key, value] : root.items()) {
        std::string problem;
        if (!SetField(motor, key, value, problem)) {
            error = source + ": field \"" + key + "\" " + problem;
            return std::nullopt;
        }
    }
    return motor;
}

std::optional<MotorModel> LoadMotor(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return MotorFromJson(text.str(), path, error);
}

std::optional<Fault> ParseFault(const std::string& name)
{
    for (Fault f : {Fault::None, Fault::ShortCircuit, Fault::EnableOff, Fault::OpenPhase, Fault::DeadLink})
        if (name == FaultName(f)) return f;
    return std::nullopt;
}

const char* FaultName(Fault fault)
{
    switch (fault) {
    case Fault::None: return "none";
    case Fault::ShortCircuit: return "short-circuit";
    case Fault::EnableOff: return "enable-off";
    case Fault::OpenPhase: return "open-phase";
    case Fault::DeadLink: return "dead-link";
    }
    return "none";
}

}  // namespace drivesim
