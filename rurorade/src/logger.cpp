#include <charconv>
#include <cstdio>
#include <fstream>

#include "rurorade/test_dlg.h"

int CMC_Logger::CorrectPointsNo(int points)
{
    if (points < 1) return 1;
    if (points > kMaxPoints) return kMaxPoints;
    return points;
}

int CMC_Logger::ChangeSettings(int points, int logType, int sampling)
{
    m_request.points = CorrectPointsNo(points);
    m_request.logType = logType;
    m_request.sampling = sampling < 1 ? 1 : sampling;
    return 1;
}

int CMC_Logger::AddVariable(const char* name, int /*flag*/)
{
    if (m_setup == nullptr || name == nullptr) return 0;
    if (m_setup->FindVariable(name, 1) == nullptr) return 0;
    m_request.variables.emplace_back(name);
    return 1;
}

void CMC_Logger::Reset()
{
    m_request.variables.clear();
    m_uploaded.clear();
    m_next = 0;
    m_uploading = false;
    m_document.channelNames.clear();
    m_document.points.clear();
}

int CMC_Logger::LocateItems()
{
    if (m_setup == nullptr || m_request.variables.empty()) return 0;
    for (const std::string& name : m_request.variables)
        if (m_setup->FindVariable(name.c_str(), 1) == nullptr) return 0;
    return 1;
}

int CMC_Logger::BeginUploadData()
{
    m_uploading = false;
    m_uploaded.clear();
    m_next = 0;
    rurorade::DriveLink* link = m_setup ? m_setup->GetDriveLink() : nullptr;
    if (link == nullptr) return 0;
    std::vector<std::vector<double>> points;
    if (!link->UploadLog(points)) return 0;
    // Every point must hold the time and one value per logged variable, or ReadPoint's caller
    // would read past what it was given.
    const std::size_t width = m_request.variables.size() + 1;
    for (const std::vector<double>& p : points)
        if (p.size() != width) return 0;
    m_document.channelNames.assign(1, "t");
    m_document.channelNames.insert(m_document.channelNames.end(), m_request.variables.begin(), m_request.variables.end());
    m_document.points.clear();
    m_uploaded = std::move(points);
    m_uploading = true;
    return 1;
}

int CMC_Logger::ReadPoint(double* values)
{
    if (!m_uploading) return 0;
    if (m_next >= m_uploaded.size()) {
        m_uploading = false;
        return 0;
    }
    const std::vector<double>& point = m_uploaded[m_next++];
    if (values != nullptr)
        for (std::size_t i = 0; i < point.size(); ++i) values[i] = point[i];
    m_document.points.push_back(point);
    return 1;
}

void CMC_Logger::EndUploadData()
{
    m_uploading = false;
    m_uploaded.clear();
    m_next = 0;
}

namespace {

void AppendNumber(std::string& line, double value)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    line.append(buf, result.ptr);
}

std::string CsvPath(const char* baseName) { return std::string(baseName && *baseName ? baseName : "graph") + ".csv"; }

}  // namespace

bool rurorade::WriteFileAtomically(const std::string& path, const std::string& text)
{
    // A temporary file and a rename, so the file is never left half-written.
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

bool rurorade::WriteGraphCsv(const std::vector<std::string>& names, const std::vector<std::vector<double>>& points,
                             const std::string& path)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? "," : "") + names[i];
    text += '\n';
    for (const std::vector<double>& point : points) {
        for (std::size_t i = 0; i < point.size(); ++i) {
            if (i) text += ',';
            AppendNumber(text, point[i]);
        }
        text += '\n';
    }
    return WriteFileAtomically(path, text);
}

int CMC_Logger::SaveGraph(const char* baseName)
{
    std::vector<std::string> names = m_document.channelNames;
    if (names.empty()) {
        names.assign(1, "t");
        names.insert(names.end(), m_request.variables.begin(), m_request.variables.end());
    }
    return rurorade::WriteGraphCsv(names, m_document.points, CsvPath(baseName)) ? 1 : 0;
}

int CGraphFilter::ExportToASCII(const char* baseName) const
{
    if (m_document == nullptr) return 0;
    return rurorade::WriteGraphCsv(m_document->channelNames, m_document->points, CsvPath(baseName)) ? 1 : 0;
}
