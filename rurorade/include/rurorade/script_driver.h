#pragma once
// Drives dialogs from a script: one action or check per line. Used by tests and `zekhost edit --script`.
#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "rurorade/ui.h"

namespace rurorade {

class ScriptDriver : public UiDriver {
public:
    explicit ScriptDriver(std::ostream& trace) : m_trace(trace) {}

    // False with `error` ("FILE:LINE: ...") for a line the language does not know.
    bool LoadText(const std::string& text, const std::string& source, std::string& error);
    bool LoadFile(const std::string& path, std::string& error);

    UiEvent NextEvent(CMC_EditSetupDlg& topmost) override;
    bool PollEvent(CMC_EditSetupDlg& topmost, UiEvent& event) override;
    int AnswerMessageBox(const std::string& text, const std::string& caption, int type) override;
    void DialogOpened(CMC_EditSetupDlg& dlg) override;
    void DialogClosed(CMC_EditSetupDlg& dlg, int result) override;
    void HelpRequested(const std::string& file, int context) override;
    void StatusChanged(CMC_EditSetupDlg& dlg, const std::string& text) override;

    // The first failed expectation ("line N: ..."), or empty.
    const std::string& Failure() const { return m_failure; }
    // True once every line has run.
    bool RanToEnd() const { return m_next >= m_lines.size() && m_failure.empty(); }

    // Splits a script line into words; quoted words lose their quotes and have \n \r \t \" \\ resolved.
    static bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& error);

private:
    struct Line {
        int number;
        std::vector<std::string> words;
    };
    bool Check(const Line& line, CMC_EditSetupDlg& topmost);
    void Dump(CMC_EditSetupDlg& dlg);
    bool Fail(const Line& line, const std::string& what);

    std::ostream& m_trace;
    std::vector<Line> m_lines;
    std::size_t m_next = 0;
    std::int64_t m_waitUntil = 0;  // clock time at which the last `wait` ends
    bool m_pollable = false;       // the lines after the last wait may come through PollEvent
    bool m_polling = false;        // NextEvent is answering PollEvent
    std::deque<int> m_answers;
    std::string m_failure;
    std::string m_source;
};

}  // namespace rurorade
