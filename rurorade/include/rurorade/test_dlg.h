#pragma once
// The host's test dialog: a setup dialog with a Start/Stop button, status text, result icon and
// "Details", the run state of a commissioning test, drive programs and their user variables,
// loggers and graph models. Headless like every host dialog; timers run on the host clock.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rurorade/edit_setup_dlg.h"

// A compiled drive program image: a small descriptor naming the program and its user variables.
class CMC_CoffFormat {
public:
    // Loads the descriptor at `path` (JSON: {"program": NAME, "userVariables": [NAMES...]}); 0 on failure.
    int ReadCoff(const char* path);
    bool IsLoaded() const { return !m_program.empty(); }
    const std::string& ProgramName() const { return m_program; }
    bool HasUserVariable(const std::string& name) const;
    const std::vector<std::string>& UserVariables() const { return m_userVariables; }

private:
    std::string m_program;
    std::vector<std::string> m_userVariables;
};

// The host's 16-colour palette (0xRRGGBB) by colour index; an index outside 0..15 wraps.
inline constexpr std::uint32_t kRGB16[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                             0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                             0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
inline constexpr std::uint32_t RGB16(int index) { return kRGB16[index & 15]; }

// Logged data and its curves. Channel 0 is time (s); channels 1.. are the logged variables in the
// order they were added; values in the drive's internal units.
struct CXYCurve {
    int xChannel = 0;
    int yChannel = 1;
    int group = 1;
    int colour = 0;  // index into the host's 16-colour palette
    int width = 2;
};

class CGraphDocument;

class CGraphFilter {
public:
    void Add(const CXYCurve& curve) { m_curves.push_back(curve); }
    const std::vector<CXYCurve>& Curves() const { return m_curves; }
    void RemoveAll() { m_curves.clear(); }
    // Writes the document's data as CSV to `baseName`.csv, as CMC_Logger::SaveGraph does; 0 on failure.
    int ExportToASCII(const char* baseName) const;

    int colour = 0;              // palette index of the filter (its frame)
    std::vector<double> floats;  // the filter's placement values, the graph window's to read

private:
    friend class CGraphDocument;
    std::vector<CXYCurve> m_curves;
    const CGraphDocument* m_document = nullptr;  // set whenever the document hands the filter out
};

class CGraphDocument {
public:
    CGraphDocument() : m_filters(1) {}
    CGraphFilter* GetAt(int index)
    {
        if (index < 0 || index >= static_cast<int>(m_filters.size())) return nullptr;
        m_filters[index].m_document = this;
        return &m_filters[index];
    }
    const CGraphFilter* GetAt(int index) const
    {
        return index >= 0 && index < FilterCount() ? &m_filters[static_cast<std::size_t>(index)] : nullptr;
    }
    int FilterCount() const { return static_cast<int>(m_filters.size()); }
    std::vector<std::string> channelNames;       // "t", then the variables
    std::vector<std::vector<double>> points;     // one row per point: time, then each variable

private:
    std::vector<CGraphFilter> m_filters;
};

// A graph widget drawn onto a dialog's static control; headless it only counts what it is asked.
class CGraphWindow {
public:
    CGraphWindow(int kind, int flags) : m_kind(kind), m_flags(flags) {}
    // Draws onto control `id` of `parent`; 0 when the dialog has no such control.
    int SubclassDlgItem(int id, CMC_EditSetupDlg* parent);
    void SetDocument(CGraphDocument* document) { m_document = document; }
    CGraphDocument* GetDocument() const { return m_document; }
    void RefreshGraph() { ++refreshes; }
    void DoZoomOut() { ++zoomOuts; }
    void UpdateLastPoint() { ++pointsDrawn; }
    // Redraws the point at `index` of the document (an on-line plot overwriting its screen).
    void UpdatePoint(int index)
    {
        ++pointsDrawn;
        lastPointUpdated = index;
    }
    void Invalidate() { ++refreshes; }
    int ControlId() const { return m_controlId; }
    // Writes the document's plot as a picture to `baseName`.svg through the installed plot renderer
    // (rurorade/plot_renderer.h); 0 without a document, without a renderer or on failure.
    int CreateWMF(const char* baseName);
    int refreshes = 0, zoomOuts = 0, pointsDrawn = 0;
    int lastPointUpdated = -1;

private:
    int m_kind, m_flags;
    int m_controlId = 0;
    CGraphDocument* m_document = nullptr;
};

// A bar showing a value between limits.
class CBarGraph {
public:
    void SetRange(double min, double max) { m_min = min, m_max = max; }
    void SetValue(double value) { m_value = value; }
    double Value() const { return m_value; }
    double Min() const { return m_min; }
    double Max() const { return m_max; }

private:
    double m_min = 0, m_max = 1, m_value = 0;
};

class CMC_Logger {
public:
    CMC_Logger(CMC_Setup* setup, CMC_CoffFormat* coff) : m_setup(setup), m_coff(coff) {}
    virtual ~CMC_Logger() = default;
    // Points the drive's log buffer holds at most.
    static constexpr int kMaxPoints = 4096;
    // Clips a requested number of points to [1, kMaxPoints].
    static int CorrectPointsNo(int points);

    // Points are clipped with CorrectPointsNo, a sampling below 1 becomes 1; returns 1.
    int ChangeSettings(int points, int logType, int sampling);
    // Adds a drive variable to log; 0 when the setup has no such variable (reported by the host).
    int AddVariable(const char* name, int flag);
    // Forgets the variables and the logged data.
    virtual void Reset();
    // Resolves the added variables before a run; 0 when there is nothing to log.
    int LocateItems();
    const rurorade::LoggerRequest& Request() const { return m_request; }

    // Upload of the last logged run: BeginUploadData fetches it from the drive (0 on failure, no
    // drive, or points that do not hold time and one value per variable);
    // each ReadPoint delivers one point (0 when all are read): into `values` when given
    // (time, then each variable), and always into the graph document.
    int BeginUploadData();
    int ReadPoint(double* values);
    virtual void EndUploadData();
    bool UploadInProgress() const { return m_uploading; }
    // The logger's layout in a file; a plain logger keeps none (0).
    virtual int Save(const char* /*path*/) { return 0; }
    virtual int Load(const char* /*path*/) { return 0; }

    // Writes the logged data as CSV to `baseName`.csv (null or empty: "graph" in the working folder):
    // a header line of channel names, then one line per point. 0 on failure.
    int SaveGraph(const char* baseName);
    CGraphDocument& GetDocument() { return m_document; }

protected:
    CMC_Setup* m_setup;
    CMC_CoffFormat* m_coff;
    rurorade::LoggerRequest m_request;
    CGraphDocument m_document;
    std::vector<std::vector<double>> m_uploaded;
    std::size_t m_next = 0;
    bool m_uploading = false;
};

class CMC_SingleAxisLogger : public CMC_Logger {
public:
    using CMC_Logger::CMC_Logger;
};

class CMC_TestDlg : public CMC_EditSetupDlg {
public:
    // Control ids of the host's test frame.
    static constexpr int kStartStopId = 10000;  // "Start" / "Stop"
    static constexpr int kStatusId = 10001;     // status text (the step texts)
    static constexpr int kResultIconId = 10002; // image "TEST_OK" / "TEST_FAILED" / ""
    static constexpr int kDetailsId = 10003;    // "Details"
    static constexpr int kSavePlotsId = 1372;   // "S&ave Plots"
    static constexpr int kTabId = 1300;         // tab pages of the tuning tests
    static constexpr int kTestTimerId = 1;      // the polling timer of a run

    // Host message texts.
    static const char* const msc_pszErrInternal;
    static const char* const msc_pszErrInZero;

    CMC_TestDlg(CMC_Setup* setup, int templateId, int flag, void* parent);
    ~CMC_TestDlg() override;

    // Start when idle, Stop when running (the Start/Stop button).
    void OnBtnStartStop();
    // Prepares and launches the first drive program; each test overrides it. The host's version
    // only sets the run state of a new run (running, result -1, step index 0, no stop request).
    virtual void BeginTest();
    // Ends a running test on the user's request: sets the stop request and, unless the test ends
    // itself on that request (a continuous run, or m_nStopRequestKind 1), clears the running flag,
    // kills timer 1 and shows "Test stopped".
    virtual void StopTest();

    // Starts a section of a loaded program, arming `logger` when given; nonzero when it started.
    // A null `coff` runs the program image named `name`. On failure the reason is in m_strError.
    int ExecuteCode(const char* name, CMC_CoffFormat* coff, CMC_Logger* logger,
                    bool (*progress)(int, const char*, float, void*) = nullptr, void* context = nullptr);
    // User variables of a loaded program; 0 on failure with the reason in `errorText`.
    int SetUserVariableValue(CMC_CoffFormat* coff, const char* name, double value, std::string& errorText);
    int GetUserVariableValue(CMC_CoffFormat* coff, const char* name, double& value, std::string& errorText);
    // Whether the power stage is on; 0 when the drive cannot be asked (reason in the error text).
    int GetAxisOn(bool& on);
    // Full path of the program image of that name.
    static std::string GetOutPathName(const char* name);
    // The setup's drive connection, or null when offline.
    rurorade::DriveLink* GetDriveLink() const;

    // Shows `text` as the status and advances the step index.
    void SetInfoText(const char* text);
    // End the run (final = 1) or show the stored result again (final = 0).
    void TestSucceeded(int final);
    void TestFailed(int final);
    // Shows the error text ("Details"), with a Help button when m_nDetailsHelpTopic is set.
    virtual void OnDetails();
    // Help topic offered with the error text of the last failure; 0: none.
    int m_nDetailsHelpTopic = 0;
    // What "S&ave Plots" saves when no test runs: the logger's data under `baseName` (SaveGraph).
    void SetPlots(CMC_Logger* logger, const std::string& baseName)
    {
        m_plotLogger = logger;
        m_plotName = baseName;
    }
    CMC_Logger* PlotLogger() const { return m_plotLogger; }

    // Tab pages (tuning tests): the controls of each page are shown only on it.
    int AddTabPage(const std::string& title, const std::vector<int>& controls);
    void SelectTabPage(int index);
    int GetTabPage() const { return m_page; }
    // Asked before the user's page change; false refuses it (leaving page 1 during a run).
    virtual bool OnTabPageChanging(int from, int to);
    // After the user's page change: on page 1 the stored result is shown again, then the data
    // are pushed into the controls.
    virtual void OnTabPageChanged(int page);

    // Run state.
    bool m_bTestRunning = false;
    int m_nResult = 0;  // -1 while running, 1 after success, 0 after a failure
    std::string m_strError;
    std::uint16_t m_nStepCount = 0;
    std::uint16_t m_nStepIndex = 0;
    bool m_bContinuousRun = false;
    bool m_bStopRequest = false;
    // 1: Stop only sets m_bStopRequest and the test, which polls it, ends the run itself.
    int m_nStopRequestKind = 0;

    int OnInitDialog() override;
    void OnCommand(int id) override;
    void OnSelChange(int id) override;
    // Timer 1 without a running test is a stale poll: it is killed.
    void OnTimer(int id) override;
    // Closing ends a running test first.
    void OnOK() override;
    void OnCancel() override;

private:
    struct TabPage {
        std::string title;
        std::vector<int> controls;
    };
    void SetStatus(const std::string& text, bool notify);
    // Start/Stop text, result icon and "Details" from the run state.
    void UpdateFrame();
    void AbortRun();

    std::vector<TabPage> m_pages;
    int m_page = -1;
    bool m_bShowDetails = false;
    CMC_Logger* m_plotLogger = nullptr;
    std::string m_plotName;
    std::string m_resultImage;
};

namespace rurorade {
// Writes `text` to `path` through a temporary file and a rename; false when it cannot.
bool WriteFileAtomically(const std::string& path, const std::string& text);
// The graph CSV: a header of `names`, then one line per point, numbers that read back exactly.
bool WriteGraphCsv(const std::vector<std::string>& names, const std::vector<std::vector<double>>& points,
                   const std::string& path);
// Folder of the program images (default: the host's programs folder; $ZEK_PROGRAMS_DIR overrides).
std::string ProgramsDirectory();
}  // namespace rurorade

// The scope logger and the on-line plot build on the logger above.
#include "rurorade/oscilloscope.h"
#include "rurorade/scope_logger.h"
