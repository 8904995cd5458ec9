#pragma once
// The drive's scope channel as a logger: the drive streams samples of the armed variables in
// unsolicited frames while a program runs, and the scope lays them onto a screen of GetPointsNo()
// points, free running or from a trigger. The screen is the graph document (channel 0 the time
// in s from the screen's left edge, then the variables in internal units); each channel has a
// display unit, a scale per division and an offset (the display value at the centre line) on a
// screen kDivisions high. The layout (trigger, channels, curves) saves to JSON.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "rurorade/test_dlg.h"

class CMC_ScopeLogger : public CMC_Logger {
public:
    static constexpr int kMaxScopePoints = 2000;  // points on one screen
    static constexpr int kDivisions = 8;          // vertical: 4 above and 4 below the centre line
    enum TriggerMode { kFreeRun = 1, kNormal = 2, kSingle = 4 };

    struct Channel {
        std::string name;
        std::string unit;    // display unit name ("" dimensionless)
        double scale = 1;    // display units per division
        double offset = 0;   // display value at the centre line
    };

    CMC_ScopeLogger(CMC_Setup* setup, CMC_CoffFormat* coff);
    // Disarms the drive's scope when an upload still runs.
    ~CMC_ScopeLogger() override;

    // Screen `span` s; mode 1 free run, 2 normal (re-armed after each screen), 4 single; slope 1
    // rising, 0 falling; the trigger variable (null or empty: the first sample triggers) crossing
    // `level` (its base unit); `preTriggerPercent` of the screen before the trigger. 0 when a
    // value is unusable (nothing changes).
    int ChangeSettings(double span, int mode, int slope, const char* variable, double level, double preTriggerPercent);
    // A drive variable as the next channel (unit: the variable's, 1 per division, offset 0).
    int AddVariable(const char* name, int flag);
    void Reset() override;
    // Resolves the variables and the trigger, and works out the sampling; 0 when they do not resolve.
    int LocateItems();

    // Arms the drive's scope on the first call (0 on failure), afterwards keeps the upload going.
    int BeginOrContinueUploadData();
    // Disarms the drive's scope; the screen stays for saving and drawing.
    void EndUploadData() override;
    // True once a single-shot screen is complete.
    bool DoGracefulStop() const { return m_done; }
    // A frame's payload of `bytes` bytes (layout in rurorade/drive_comm.h). Returns 1 when taken;
    // 0 for a short or malformed frame, one for other channels, or when no upload runs (ignored).
    int OnFrameReceive(const std::uint16_t* payload, int bytes);
    // Screen points the last frame wrote: `count` of them from `first`, running modulo GetPointsNo().
    void GetPointsToBeDrawn(int& first, int& count) const;
    int GetPointsNo() const { return m_points; }
    double SamplePeriod() const { return m_dt; }  // s between points
    int Sampling() const { return m_sampling; }   // current-loop periods between points
    std::uint32_t LostFrames() const { return m_lost; }

    // Channel display. RescaleVariable: 0 for an unknown channel or unit (of another family) or a
    // scale that is not positive. ChangeChannelScale (channel 1-based) moves the scale one step up
    // (step > 0) or down along 1, 2, 5, 10 ..., keeping the trace's place on the screen; 0 when it cannot.
    int RescaleVariable(const char* name, const char* unitName, double scalePerDivision, double offset);
    int ChangeChannelScale(int channel, int step);
    // Fits each channel with data onto the screen; 0 when there is no data.
    int Autoscale();
    const std::vector<Channel>& Channels() const { return m_channels; }
    // Forgets variables, curves and data and restores the default trigger (1 s free run).
    void SetDefaultValues();
    // The front end's scope settings editor; headless there is none and nothing changes (0).
    int Edit(CMC_EditSetupDlg* dialog);

    // Trigger settings as set.
    double Span() const { return m_span; }
    int Mode() const { return m_mode; }
    int Slope() const { return m_slope; }
    const std::string& TriggerVariable() const { return m_triggerName; }
    double Level() const { return m_level; }
    double PreTrigger() const { return m_preTrigger; }

    // The layout as JSON text, and back (0 for text that is not a valid layout: nothing changes).
    std::string LayoutJson() const;
    int SetLayoutJson(const std::string& text);
    int Save(const char* path) override;
    int Load(const char* path) override;
    int SaveSettingsToSetupOption(const char* name);
    // 1 when the option held a layout and it was loaded.
    int LoadSettingsFromSetupOption(const char* name);

    // Smallest of 1, 2, 5 times a power of ten that is at least x (1 when x is not positive).
    static double ScaleAtLeast(double x);

private:
    enum class State { Waiting, Filling, Done };
    struct Conversion {
        double base0 = 0, perUnit = 1;  // base = base0 + internal * perUnit
        const rurorade::UnitDef* unit = nullptr;
    };
    bool ChannelConversion(const std::string& name, Conversion& conversion) const;
    void Take(const std::int32_t* sample);
    void Write(int index, const std::int32_t* sample);
    void Restart();

    std::vector<Channel> m_channels;
    double m_span = 1;
    int m_mode = kFreeRun;
    int m_slope = 1;
    std::string m_triggerName;
    double m_level = 0;
    double m_preTrigger = 0;

    // Worked out by LocateItems.
    int m_points = 2;
    int m_sampling = 1;
    int m_perFrame = 1;
    double m_dt = 0;
    int m_pre = 0;
    int m_triggerChannel = -1;
    double m_levelInternal = 0;
    bool m_risingInternal = true;

    // Acquisition.
    State m_state = State::Waiting;
    bool m_done = false;
    int m_next = 0;                                  // screen index of the next point
    std::deque<std::vector<std::int32_t>> m_history; // samples before a trigger
    bool m_havePrevious = false;
    double m_previous = 0;
    std::uint32_t m_expectedFrame = 0;
    std::uint32_t m_lost = 0;
    int m_drawFirst = 0, m_drawCount = 0;
};
