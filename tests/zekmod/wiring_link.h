#pragma once
// The drive link between a test and the simulated drive, where the test can watch and change
// what crosses it: register writes are recorded and one of them can be made to fail, reads can
// be altered or made to fail, variable writes can be lost, user variables read can be replaced.
#include <functional>
#include <string>
#include <vector>

#include "drivesim/simulated_drive.h"

namespace zektest {

class Wiring : public rurorade::DriveLink {
public:
    Wiring(CMC_Setup* setup, drivesim::SimulatedDrive& drive) : m_setup(setup), m_drive(drive)
    {
        setup->SetDriveLink(this);
    }
    ~Wiring() override { m_setup->SetDriveLink(&m_drive); }

    std::function<void(CMC_Variable&)> afterRead;      // may change a value read
    std::function<bool(const CMC_Variable&)> letWrite; // false: the write is lost on the way
    std::function<void(const std::string& program, const std::string& name, double&)> afterUserRead;
    std::string unreadable;                            // a variable whose reads fail
    std::string failingWrite;                          // a parameter whose writes fail
    std::vector<std::string> written;                  // parameters written, in order

    bool WriteParameter(const CMC_Parameter& p) override
    {
        written.push_back(p.GetName());
        return p.GetName() != failingWrite && m_drive.WriteParameter(p);
    }
    bool ReadVariable(CMC_Variable& v) override
    {
        const bool ok = v.GetName() != unreadable && m_drive.ReadVariable(v);
        if (ok && afterRead) afterRead(v);
        return ok;
    }
    bool WriteVariable(const CMC_Variable& v) override { return (letWrite && !letWrite(v)) || m_drive.WriteVariable(v); }
    bool SetUserVariable(const std::string& p, const std::string& n, double v) override
    {
        return m_drive.SetUserVariable(p, n, v);
    }
    bool GetUserVariable(const std::string& p, const std::string& n, double& v) override
    {
        const bool ok = m_drive.GetUserVariable(p, n, v);
        if (ok && afterUserRead) afterUserRead(p, n, v);
        return ok;
    }
    bool StartProgram(const std::string& p, const std::string& s, const rurorade::LoggerRequest* l) override
    {
        return m_drive.StartProgram(p, s, l);
    }
    bool GetAxisOn(bool& on) override { return m_drive.GetAxisOn(on); }
    bool UploadLog(std::vector<std::vector<double>>& points) override { return m_drive.UploadLog(points); }
    bool ExecuteString(const std::string& c) override { return m_drive.ExecuteString(c); }
    bool StopProgram() override { return m_drive.StopProgram(); }
    bool StartScope(const rurorade::ScopeRequest& r) override { return m_drive.StartScope(r); }
    bool StopScope() override { return m_drive.StopScope(); }
    bool PollUnsolicited(std::vector<std::uint16_t>& m) override { return m_drive.PollUnsolicited(m); }
    std::string GetLastErrorText() const override { return m_drive.GetLastErrorText(); }
    rurorade::Bench* GetBench() override { return &m_drive; }

private:
    CMC_Setup* m_setup;
    drivesim::SimulatedDrive& m_drive;
};

}  // namespace zektest
