#include "drivesim/motor_model.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "rurorade/numeric.h"

namespace drivesim {

namespace {

using Json = nlohmann::json;

enum class Range { Positive, NonNegative, Any, Direction, Flag, HallCase };

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
    {"ld", &MotorModel::ld, Range::NonNegative},
    {"lq", &MotorModel::lq, Range::NonNegative},
    {"inertia", &MotorModel::inertia, Range::Positive},
    {"loadInertia", &MotorModel::loadInertia, Range::NonNegative},
    {"viscousFriction", &MotorModel::viscousFriction, Range::NonNegative},
    {"coulombFriction", &MotorModel::coulombFriction, Range::NonNegative},
    {"loadTorque", &MotorModel::loadTorque, Range::Any},
    {"hallShift", &MotorModel::hallShift, Range::Any},
    {"vdc", &MotorModel::vdc, Range::Positive},
    {"analogueInput", &MotorModel::analogueInput, Range::Any},
    {"currentOffset", &MotorModel::currentOffset, Range::Any},
    {"noise", &MotorModel::noise, Range::NonNegative},
};

constexpr WholeField kWholeFields[] = {
    {"polePairs", &MotorModel::polePairs, Range::Positive},
    {"encoderLines", &MotorModel::encoderLines, Range::Positive},
    {"encoderDirection", &MotorModel::encoderDirection, Range::Direction},
    {"encoderIndex", &MotorModel::encoderIndex, Range::Flag},
    {"hallCase", &MotorModel::hallCase, Range::HallCase},
};

// Empty when `v` fits the range, else what is wrong.
std::string CheckRange(double v, Range range)
{
    switch (range) {
    case Range::Positive: return v > 0 ? "" : "must be positive";
    case Range::NonNegative: return v >= 0 ? "" : "must not be negative";
    case Range::Direction: return (v == 1 || v == -1) ? "" : "must be 1 or -1";
    case Range::Flag: return (v == 0 || v == 1) ? "" : "must be 0 or 1";
    case Range::HallCase: return (v >= 2 && v <= 13) ? "" : "must be a Hall configuration from 2 to 13";
    case Range::Any: break;
    }
    return "";
}

bool SetField(MotorModel& motor, const std::string& key, const Json& value, std::string& problem)
{
    if (key == "description") {  // a note for the reader of the file; the model does not use it
        problem = value.is_string() ? "" : "must be text";
        return problem.empty();
    }
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
    } catch (const Json::exception& e) {  // a syntax error, or a number no double holds
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

namespace {

constexpr std::pair<Fault, const char*> kFaultNames[] = {
    {Fault::None, "none"},
    {Fault::ShortCircuit, "short-circuit"},
    {Fault::EnableOff, "enable-off"},
    {Fault::OpenPhase, "open-phase"},
    {Fault::DeadLink, "dead-link"},
    {Fault::HallSupply, "hall-supply"},
    {Fault::HallStuck, "hall-stuck"},
    {Fault::EncoderAMissing, "encoder-a-missing"},
    {Fault::EncoderBMissing, "encoder-b-missing"},
    {Fault::EncoderSwapped, "encoder-swapped"},
    {Fault::PhasesSwapped, "phases-swapped"},
    {Fault::LockedRotor, "locked-rotor"},
    {Fault::LimitPositive, "limit-positive"},
    {Fault::LimitNegative, "limit-negative"},
};

}  // namespace

std::optional<Fault> ParseFault(const std::string& name)
{
    for (const auto& [fault, text] : kFaultNames)
        if (name == text) return fault;
    return std::nullopt;
}

const char* FaultName(Fault fault)
{
    for (const auto& [f, text] : kFaultNames)
        if (f == fault) return text;
    return "none";
}

std::string FaultNames()
{
    std::string names;
    for (const auto& [fault, text] : kFaultNames) {
        if (fault == Fault::None) continue;
        if (!names.empty()) names += ", ";
        names += text;
    }
    return names;
}

}  // namespace drivesim
