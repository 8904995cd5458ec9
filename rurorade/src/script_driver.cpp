#include "rurorade/script_driver.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "rurorade/drive_link.h"
#include "rurorade/edit_setup_dlg.h"
#include "rurorade/host_errors.h"

namespace rurorade {
namespace {

const char* ResultName(int result)
{
    switch (result) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDHELP: return "Help";
    default: return "other";
    }
}

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

bool ToInt(const std::string& word, int& out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool ToNumber(const std::string& word, double& out)
{
    char* end = nullptr;
    out = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == '\0' && std::isfinite(out);
}

// The bench of the simulated drive behind the dialog's setup, or null.
Bench* BenchOf(CMC_EditSetupDlg& dlg)
{
    CMC_Setup* setup = dlg.GetSetup();
    DriveLink* link = setup ? setup->GetDriveLink() : nullptr;
    return link ? link->GetBench() : nullptr;
}

// Words each command takes after its name; -1 for commands checked elsewhere.
int Arity(const std::string& cmd)
{
    static const std::pair<const char*, int> table[] = {
        {"set", 2}, {"click", 1}, {"select", 2}, {"chord", 0}, {"answer", 1}, {"wait", 1}, {"ok", 0}, {"cancel", 0},
        {"expect-dialog", 1}, {"expect-text", 2}, {"expect-visible", 1}, {"expect-hidden", 1}, {"expect-enabled", 1},
        {"expect-disabled", 1}, {"expect-checked", 1}, {"expect-unchecked", 1}, {"expect-param", 2},
        {"expect-option", 2}, {"expect-message", 1}, {"dump", 0}, {"turn", 2}, {"hold", 0}, {"analogue", 1},
        {"expect-shaft", 2},
    };
    for (const auto& [name, n] : table)
        if (cmd == name) return n;
    return -1;
}

}  // namespace

bool ScriptDriver::SplitWords(const std::string& line, std::vector<std::string>& words, std::string& error)
{
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    const char e = line[i++];
                    c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
                }
                word += c;
            }
            if (!closed) {
                error = "unterminated text";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
        }
        words.push_back(word);
    }
    return true;
}

bool ScriptDriver::LoadText(const std::string& text, const std::string& source, std::string& error)
{
    m_source = source;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        Line line{number, {}};
        std::string why;
        if (!SplitWords(raw, line.words, why)) {
            error = source + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        if (line.words.empty()) continue;
        const int arity = Arity(line.words[0]);
        if (arity < 0) {
            error = source + ":" + std::to_string(number) + ": unknown command \"" + line.words[0] + "\"";
            return false;
        }
        if (static_cast<int>(line.words.size()) - 1 != arity) {
            error = source + ":" + std::to_string(number) + ": \"" + line.words[0] + "\" takes " + std::to_string(arity) +
                    " argument(s)";
            return false;
        }
        m_lines.push_back(line);
    }
    return true;
}

bool ScriptDriver::LoadFile(const std::string& path, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot open the script";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad() || (!in.eof() && in.fail()) || std::filesystem::is_directory(path)) {
        error = path + ": cannot read the script (a folder?)";
        return false;
    }
    return LoadText(text.str(), path, error);
}

bool ScriptDriver::Fail(const Line& line, const std::string& what)
{
    m_failure = "line " + std::to_string(line.number) + ": " + what;
    m_trace << "FAILED " << m_failure << "\n";
    return false;
}

UiEvent ScriptDriver::NextEvent(CMC_EditSetupDlg& topmost)
{
    m_pollable = m_polling;  // a wait below makes the following lines pollable again
    while (m_failure.empty() && m_next < m_lines.size()) {
        const Line& line = m_lines[m_next++];
        const std::string& cmd = line.words[0];
        int id = 0, n = 0;
        if (cmd == "set" || cmd == "click" || cmd == "select") {
            if (!ToInt(line.words[1], id)) {
                Fail(line, "control id expected, got \"" + line.words[1] + "\"");
                break;
            }
            if (cmd == "set") return UiEvent{UiEvent::Commit, id, line.words[2]};
            if (cmd == "click") return UiEvent::Of(UiEvent::Click, id);
            if (!ToInt(line.words[2], n)) {
                Fail(line, "item index expected");
                break;
            }
            return UiEvent{UiEvent::Select, id, {}, n};
        }
        if (cmd == "chord") return UiEvent::Of(UiEvent::Chord);
        if (cmd == "ok") return UiEvent::Of(UiEvent::Close, IDOK);
        if (cmd == "cancel") return UiEvent::Of(UiEvent::Close, IDCANCEL);
        if (cmd == "wait") {
            if (!ToInt(line.words[1], n) || n < 0) {
                Fail(line, "milliseconds expected");
                break;
            }
            m_waitUntil = UiContext::Get().GetClock().NowMs() + n;
            m_pollable = true;
            return UiEvent{UiEvent::Wait, 0, {}, 0, n};
        }
        if (cmd == "answer") {
            const std::string& a = line.words[1];
            const int answer = a == "yes" ? IDYES : a == "no" ? IDNO : a == "cancel" ? IDCANCEL : a == "ok" ? IDOK : a == "help" ? IDHELP : 0;
            if (answer == 0) {
                Fail(line, "answer must be yes, no, cancel, ok or help");
                break;
            }
            m_answers.push_back(answer);
            continue;
        }
        if (cmd == "dump") {
            Dump(topmost);
            continue;
        }
        if (cmd == "turn" || cmd == "hold" || cmd == "analogue") {
            Bench* bench = BenchOf(topmost);
            if (bench == nullptr) {
                Fail(line, "no simulated drive is attached");
                break;
            }
            double value = 0;
            if (cmd == "hold") {
                bench->ReleaseShaft();
                continue;
            }
            if (!ToNumber(line.words[1], value)) {
                Fail(line, std::string(cmd == "turn" ? "degrees" : "volts") + " expected, got \"" + line.words[1] + "\"");
                break;
            }
            if (cmd == "analogue") {
                bench->SetAnalogueInput(value);
                continue;
            }
            if (!ToInt(line.words[2], n) || n < 0) {
                Fail(line, "milliseconds expected");
                break;
            }
            // The hand turns while the dialogs go on: the script waits as long as the turn lasts.
            bench->TurnShaft(value, n);
            return UiEvent{UiEvent::Wait, 0, {}, 0, n};
        }
        if (!Check(line, topmost)) break;
    }
    if (m_failure.empty() && m_next >= m_lines.size()) m_trace << "script ended: closing " << topmost.GetTemplateId() << "\n";
    return UiEvent::Of(UiEvent::Quit);
}

bool ScriptDriver::Check(const Line& line, CMC_EditSetupDlg& top)
{
    const std::string& cmd = line.words[0];
    const auto& w = line.words;
    if (cmd == "expect-message") {
        const std::string& seen = UiContext::Get().LastMessage();
        return seen == w[1] || Fail(line, "expected message " + Quote(w[1]) + ", saw " + Quote(seen));
    }
    if (cmd == "expect-param") {
        char* end = nullptr;
        const double want = std::strtod(w[2].c_str(), &end);
        if (*end != '\0') return Fail(line, "number expected, got \"" + w[2] + "\"");
        CMC_Parameter* p = nullptr;
        {
            const QuietLookups quiet;
            p = top.GetSetup()->FindParameter(w[1].c_str());
        }
        if (p == nullptr) return Fail(line, "the setup has no parameter " + w[1]);
        const double seen = p->GetValueInBaseUnit();
        const bool same = seen == want || std::fabs(seen - want) <= 1e-12 * std::max(std::fabs(seen), std::fabs(want));
        std::ostringstream s;
        s.precision(17);
        s << "expected " << w[1] << " = " << want << ", saw " << seen;
        return same || Fail(line, s.str());
    }
    if (cmd == "expect-shaft") {
        double want = 0, tolerance = 0;
        if (!ToNumber(w[1], want) || !ToNumber(w[2], tolerance)) return Fail(line, "degrees and tolerance expected");
        Bench* bench = BenchOf(top);
        if (bench == nullptr) return Fail(line, "no simulated drive is attached");
        const double seen = bench->ShaftDegrees();
        std::ostringstream s;
        s.precision(17);
        s << "expected the shaft at " << want << " +- " << tolerance << " degrees, saw " << seen;
        return std::fabs(seen - want) <= tolerance || Fail(line, s.str());
    }
    if (cmd == "expect-option") {
        const std::string seen = top.GetSetup()->GetOptionNoError(w[1].c_str());
        return seen == w[2] || Fail(line, "expected option " + w[1] + " = " + Quote(w[2]) + ", saw " + Quote(seen));
    }
    int id = 0;
    if (!ToInt(w[1], id)) return Fail(line, "number expected, got \"" + w[1] + "\"");
    if (cmd == "expect-dialog")
        return top.GetTemplateId() == id || Fail(line, "expected dialog " + w[1] + ", saw " + std::to_string(top.GetTemplateId()));
    const CMC_Control* c = top.GetControl(id);
    if (c == nullptr) return Fail(line, "dialog " + std::to_string(top.GetTemplateId()) + " has no control " + w[1]);
    if (cmd == "expect-text") return c->text == w[2] || Fail(line, "expected text " + Quote(w[2]) + ", saw " + Quote(c->text));
    if (cmd == "expect-visible") return c->visible || Fail(line, "control " + w[1] + " is hidden");
    if (cmd == "expect-hidden") return !c->visible || Fail(line, "control " + w[1] + " is visible");
    if (cmd == "expect-enabled") return c->enabled || Fail(line, "control " + w[1] + " is disabled");
    if (cmd == "expect-disabled") return !c->enabled || Fail(line, "control " + w[1] + " is enabled");
    if (cmd == "expect-checked") return c->checked != 0 || Fail(line, "control " + w[1] + " is unchecked");
    if (cmd == "expect-unchecked") return c->checked == 0 || Fail(line, "control " + w[1] + " is checked");
    return Fail(line, "unknown check");
}

void ScriptDriver::Dump(CMC_EditSetupDlg& dlg)
{
    m_trace << "dialog " << dlg.GetTemplateId() << " " << Quote(dlg.GetTitle()) << "\n";
    for (const CMC_Control& c : dlg.Controls()) {
        m_trace << "  " << c.id << " " << ControlKindName(c.kind) << " " << Quote(c.text);
        if (!c.visible) m_trace << " hidden";
        if (!c.enabled) m_trace << " disabled";
        if (c.checked) m_trace << " checked";
        if (!c.items.empty()) m_trace << " items=" << c.items.size() << " selection=" << c.selection;
        if (!c.image.empty()) m_trace << " image=" << c.image;
        if (!c.group.empty()) m_trace << " group=" << Quote(c.group);
        m_trace << "\n";
    }
}

bool ScriptDriver::PollEvent(CMC_EditSetupDlg& topmost, UiEvent& event)
{
    // The lines after `wait MS` are due once that time has passed while a long loop of the dialog
    // keeps the modal loop from asking for them; a further `wait` then counts from now. An action
    // the modal loop took is carried out to its end first, as a click on a real button would be.
    if (!m_pollable || UiContext::Get().GetClock().NowMs() <= m_waitUntil) return false;
    m_polling = true;
    event = NextEvent(topmost);
    m_polling = false;
    return event.kind != UiEvent::Wait;
}

int ScriptDriver::AnswerMessageBox(const std::string& text, const std::string&, int type)
{
    const int buttons = type & MB_BUTTONS;
    int answer = (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    m_trace << "message " << Quote(text) << " -> " << ResultName(answer) << "\n";
    return answer;
}

void ScriptDriver::DialogOpened(CMC_EditSetupDlg& dlg)
{
    m_trace << "open " << dlg.GetTemplateId() << " " << Quote(dlg.GetTitle()) << "\n";
}

void ScriptDriver::DialogClosed(CMC_EditSetupDlg& dlg, int result)
{
    m_trace << "close " << dlg.GetTemplateId() << " " << ResultName(result) << "\n";
}

void ScriptDriver::StatusChanged(CMC_EditSetupDlg&, const std::string& text) { m_trace << "status " << Quote(text) << "\n"; }

void ScriptDriver::HelpRequested(const std::string& file, int context)
{
    m_trace << "help " << Quote(file) << " context " << context << "\n";
}

}  // namespace rurorade
