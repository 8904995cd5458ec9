// An interim picture of a graph window: a plain SVG line plot of its document, curves of group 1
// against the left axis and group 2 against the right one, until a front end draws the real one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "rurorade/test_dlg.h"

namespace {

constexpr double kWidth = 800, kHeight = 500;
constexpr double kLeft = 80, kRight = 80, kTop = 20, kBottom = 70;  // margins, px
constexpr int kTicks = 5;

struct Range {
    double lo = INFINITY, hi = -INFINITY;
    void Add(double v)
    {
        if (!std::isfinite(v)) return;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    void Settle()
    {
        if (!(lo <= hi)) lo = 0, hi = 1;
        if (lo == hi) lo -= 0.5, hi += 0.5;
    }
    double Map(double v, double from, double to) const { return from + (v - lo) / (hi - lo) * (to - from); }
};

std::string Num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

std::string Colour(int index)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(RGB16(index)));
    return buf;
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

double Value(const std::vector<double>& point, int channel)
{
    return channel >= 0 && channel < static_cast<int>(point.size()) ? point[static_cast<std::size_t>(channel)] : NAN;
}

std::string Text(double x, double y, const char* anchor, const std::string& text, const std::string& fill = "#000000")
{
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\" fill=\"" + fill + "\">" +
           Escaped(text) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2)
{
    return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) +
           "\" stroke=\"#000000\"/>\n";
}

}  // namespace

int CGraphWindow::CreateWMF(const char* baseName)
{
    if (m_document == nullptr) return 0;
    CGraphDocument& doc = *m_document;
    std::vector<CXYCurve> curves = doc.GetAt(0)->Curves();
    if (curves.empty())  // nothing configured: every variable against time
        for (int c = 1; c < static_cast<int>(doc.channelNames.size()); ++c) curves.push_back({0, c, 1, c, 2});

    Range x, y[2];
    for (const CXYCurve& c : curves)
        for (const std::vector<double>& p : doc.points) {
            x.Add(Value(p, c.xChannel));
            y[c.group == 2].Add(Value(p, c.yChannel));
        }
    x.Settle();
    y[0].Settle();
    y[1].Settle();
    const double left = kLeft, right = kWidth - kRight, top = kTop, bottom = kHeight - kBottom;
    auto name = [&](int channel) {
        return channel >= 0 && channel < static_cast<int>(doc.channelNames.size()) ? doc.channelNames[static_cast<std::size_t>(channel)]
                                                                                   : "channel " + std::to_string(channel);
    };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kHeight) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    // Axes: time below, group 1 left, group 2 right, each with its ticks.
    svg += "<g class=\"axes\">\n" + Line(left, bottom, right, bottom) + Line(left, top, left, bottom) + Line(right, top, right, bottom);
    for (int i = 0; i <= kTicks; ++i) {
        const double f = static_cast<double>(i) / kTicks;
        const double px = left + f * (right - left), py = bottom - f * (bottom - top);
        svg += Line(px, bottom, px, bottom + 5) + Text(px, bottom + 18, "middle", Num(x.lo + f * (x.hi - x.lo)));
        svg += Line(left - 5, py, left, py) + Text(left - 8, py + 4, "end", Num(y[0].lo + f * (y[0].hi - y[0].lo)));
        svg += Line(right, py, right + 5, py) + Text(right + 8, py + 4, "start", Num(y[1].lo + f * (y[1].hi - y[1].lo)));
    }
    svg += Text((left + right) / 2, bottom + 36, "middle", name(curves.front().xChannel)) + "</g>\n";

    double legend = left;
    for (const CXYCurve& c : curves) {
        const Range& r = y[c.group == 2];
        svg += "<polyline fill=\"none\" stroke=\"" + Colour(c.colour) + "\" stroke-width=\"" + std::to_string(c.width) +
               "\" points=\"";
        for (const std::vector<double>& p : doc.points) {
            const double vx = Value(p, c.xChannel), vy = Value(p, c.yChannel);
            if (!std::isfinite(vx) || !std::isfinite(vy)) continue;
            svg += Num(x.Map(vx, left, right)) + "," + Num(r.Map(vy, bottom, top)) + " ";
        }
        svg += "\"/>\n" + Text(legend, kHeight - 12, "start", name(c.yChannel), Colour(c.colour));
        legend += 150;
    }
    svg += "</svg>\n";
    return rurorade::WriteFileAtomically(std::string(baseName && *baseName ? baseName : "graph") + ".svg", svg) ? 1 : 0;
}
