// The display stand-in's recording as an SVG picture, seen from above (x
// right, y up): what a developer would have seen on the host's screen.
//
// Every drawn primitive becomes one element whose class names its kind:
// "marker" (one per marker point), "polyline", "arc", "region", "conehead"
// (one per head), "csys" (a group of three axes and the label) and "text".
// Calls that draw nothing (begin/end, colour, flushes, view lists, planes)
// and primitives with coordinates that are not finite leave no element.
#include <glimra/testing.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

namespace glimra_test {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Host colour numbers map onto this palette by their remainder.
const char* const kPalette[] = {"#000000", "#d62728", "#2ca02c", "#1f77b4", "#ff7f0e", "#9467bd",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf", "#393b79"};
constexpr int kPaletteSize = sizeof(kPalette) / sizeof(kPalette[0]);

const char* colour_of(int colour) { return kPalette[((colour % kPaletteSize) + kPaletteSize) % kPaletteSize]; }

struct P2 {
    double x, y;
};

// Round-trip exact numbers, so a reader recovers the recorded values.
std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}
// A point in picture coordinates: y flipped so that it points up.
std::string xy(P2 p) { return num(p.x) + "," + num(-p.y); }

std::string escape(const std::string& text) {
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters other than tab, line feed and carriage
            // return cannot appear in XML 1.0.
            if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' && ch != '\r')
                out += '?';
            else
                out += ch;
        }
    }
    return out;
}

bool finite(const std::vector<double>& v, size_t from, size_t n) {
    if (from + n > v.size()) return false;
    for (size_t i = from; i < from + n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The picture is made in three passes over the recording: the extent of the
// geometry (which sets the size of symbols and text), the extent with the
// symbols, and the elements themselves.
enum class Pass { geometry, symbols, emit };

struct Canvas {
    Pass pass = Pass::geometry;
    double xmin = std::numeric_limits<double>::infinity(), ymin = xmin, xmax = -xmin, ymax = -xmin;
    double unit = 1.0;  // symbol size: a hundredth of the geometry's extent
    std::ostringstream out;

    bool emitting() const { return pass == Pass::emit; }
    void add(P2 p) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    // A symbol of half size r about p counts only from the second pass on.
    void add_symbol(P2 p, double rx, double ry) {
        if (pass == Pass::geometry) return add(p);
        add({p.x - rx, p.y - ry});
        add({p.x + rx, p.y + ry});
    }
    bool empty() const { return !(xmin <= xmax); }
};

std::string stroke(int colour, int width) {
    return " fill=\"none\" stroke=\"" + std::string(colour_of(colour)) + "\" stroke-width=\"" +
           std::to_string(std::max(1, width)) + "\" vector-effect=\"non-scaling-stroke\"";
}

void markers(Canvas& cv, const Call& c) {
    if (c.ints.size() < 4) return;
    const int kind = c.ints[0], colour = c.ints[1], dims = c.ints[2], count = c.ints[3];
    if (dims < 2) return;
    const double s = cv.unit;
    for (int i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>(i) * dims;
        if (!finite(c.values, at, dims)) continue;
        const P2 p{c.values[at], c.values[at + 1]};
        cv.add_symbol(p, s, s);
        if (!cv.emitting()) continue;
        const std::string look = stroke(colour, 1);
        const P2 q{p.x, -p.y};
        switch (((kind % 4) + 4) % 4) {
        case 0:  // plus
            cv.out << "<path class=\"marker\" d=\"M" << num(q.x - s) << "," << num(q.y) << " H" << num(q.x + s)
                   << " M" << num(q.x) << "," << num(q.y - s) << " V" << num(q.y + s) << "\"" << look << "/>\n";
            break;
        case 1:  // cross
            cv.out << "<path class=\"marker\" d=\"M" << num(q.x - s) << "," << num(q.y - s) << " L" << num(q.x + s)
                   << "," << num(q.y + s) << " M" << num(q.x - s) << "," << num(q.y + s) << " L" << num(q.x + s)
                   << "," << num(q.y - s) << "\"" << look << "/>\n";
            break;
        case 2:  // square
            cv.out << "<rect class=\"marker\" x=\"" << num(q.x - s) << "\" y=\"" << num(q.y - s) << "\" width=\""
                   << num(2 * s) << "\" height=\"" << num(2 * s) << "\"" << look << "/>\n";
            break;
        default:  // circle
            cv.out << "<circle class=\"marker\" cx=\"" << num(q.x) << "\" cy=\"" << num(q.y) << "\" r=\"" << num(s)
                   << "\"" << look << "/>\n";
        }
    }
}

void polyline(Canvas& cv, const Call& c) {
    if (c.ints.size() < 5) return;
    const int colour = c.ints[0], width = c.ints[2], dims = c.ints[3], count = c.ints[4];
    if (dims < 2 || count < 1 || !finite(c.values, 0, static_cast<size_t>(dims) * count)) return;
    std::string points;
    for (int i = 0; i < count; ++i) {
        const P2 p{c.values[static_cast<size_t>(i) * dims], c.values[static_cast<size_t>(i) * dims + 1]};
        cv.add(p);
        if (cv.emitting()) points += (i ? " " : "") + xy(p);
    }
    if (cv.emitting()) cv.out << "<polyline class=\"polyline\" points=\"" << points << "\"" << stroke(colour, width) << "/>\n";
}

// An arc about the centre in the plane of the matrix rows X and Y: the point
// at angle t is centre + r (cos t X + sin t Y), t from start to end.  Seen
// from above, a plane parallel to the picture shows a circular arc drawn as an
// SVG path arc (split in two when it is a full circle, whose ends coincide);
// a tilted plane shows an ellipse, drawn as a fine polyline path.
void arc(Canvas& cv, const Call& c) {
    if (c.ints.size() < 3 || !finite(c.values, 0, 15)) return;
    const double* m = c.values.data();
    const double* centre = m + 9;
    const double r = m[12], start = m[13], end = m[14];
    const double sweep = end - start;
    auto at = [&](double t) {
        return P2{centre[0] + r * (std::cos(t) * m[0] + std::sin(t) * m[3]),
                  centre[1] + r * (std::cos(t) * m[1] + std::sin(t) * m[4])};
    };
    // Extent from samples along the arc, at most a degree apart.
    const int samples = std::max(2, static_cast<int>(std::ceil(std::fabs(sweep) / (kPi / 180))) + 1);
    for (int i = 0; i < samples && !cv.emitting(); ++i) cv.add(at(start + sweep * i / (samples - 1)));
    if (!cv.emitting()) return;
    std::string d = "M" + xy(at(start));
    const bool flat = std::fabs(m[2]) < 1e-12 && std::fabs(m[5]) < 1e-12;
    if (flat) {
        const double rx = r * std::hypot(m[0], m[1]);
        // Increasing t turns counter-clockwise (y up) when X x Y points up.
        const bool ccw = (m[0] * m[4] - m[1] * m[3] > 0) == (sweep > 0);
        // With y flipped, a counter-clockwise turn runs in the picture's
        // negative angle sense: sweep flag 0.
        const std::string flags = std::string(" 0 ") + (std::fabs(sweep) > kPi ? "1" : "0") + (ccw ? " 0 " : " 1 ");
        const std::string radii = " A" + num(rx) + "," + num(rx);
        if (std::fabs(sweep) >= 2 * kPi) {
            // A full circle (or more) as two half circles.
            const std::string half = std::string(" 0 0") + (ccw ? " 0 " : " 1 ");
            d += radii + half + xy(at(start + (sweep > 0 ? kPi : -kPi))) + radii + half + xy(at(start));
        } else {
            d += radii + flags + xy(at(end));
        }
    } else {
        for (int i = 1; i < samples; ++i) d += " L" + xy(at(start + sweep * i / (samples - 1)));
    }
    cv.out << "<path class=\"arc\" d=\"" << d << "\"" << stroke(c.ints[0], c.ints[2]) << "/>\n";
}

void region(Canvas& cv, const Call& c, int fill) {
    if (c.ints.empty() || c.ints[0] < 1 || c.ints.size() < 1 + static_cast<size_t>(c.ints[0])) return;
    size_t total = 0;
    for (int i = 0; i < c.ints[0]; ++i) total += std::max(0, c.ints[1 + i]);
    if (total == 0 || !finite(c.values, 0, 3 * total)) return;
    std::string d;
    size_t at = 0;
    for (int i = 0; i < c.ints[0]; ++i) {
        for (int k = 0; k < c.ints[1 + i]; ++k, at += 3) {
            const P2 p{c.values[at], c.values[at + 1]};
            cv.add(p);
            if (cv.emitting()) d += (k ? " L" : (d.empty() ? "M" : " M")) + xy(p);
        }
        if (cv.emitting() && c.ints[1 + i] > 0) d += " Z";
    }
    if (cv.emitting())
        cv.out << "<path class=\"region\" fill-rule=\"evenodd\" d=\"" << d << "\" fill=\"" << colour_of(fill)
               << "\" fill-opacity=\"0.35\" stroke=\"" << colour_of(fill)
               << "\" stroke-width=\"1\" vector-effect=\"non-scaling-stroke\"/>\n";
}

// A cone head seen from above: a triangle from its tip to the two sides of
// its base across the projected direction.
void coneheads(Canvas& cv, const Call& c) {
    if (c.ints.size() < 2) return;
    const int count = c.ints[1];
    const size_t sizes = static_cast<size_t>(6) * std::max(0, count);
    if (count < 1 || !finite(c.values, 0, sizes + 3)) return;
    const double length = c.values[sizes], spread = c.values[sizes + 1], lift = c.values[sizes + 2];
    for (int i = 0; i < count; ++i) {
        const double* p = c.values.data() + 3 * i;
        const double* dir = c.values.data() + 3 * (count + i);
        const double n = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        const double ux = n > 0 ? dir[0] / n : 0, uy = n > 0 ? dir[1] / n : 0;
        const P2 base{p[0] + lift * ux, p[1] + lift * uy};
        const P2 tip{base.x + length * ux, base.y + length * uy};
        // Across the projected direction; a head seen along its axis shows
        // its base across x.
        const double h = std::hypot(ux, uy);
        const double rad = spread * length;
        const double ax = h > 0 ? -uy / h * rad : rad, ay = h > 0 ? ux / h * rad : 0;
        const P2 left{base.x + ax, base.y + ay}, right{base.x - ax, base.y - ay};
        cv.add(tip);
        cv.add(left);
        cv.add(right);
        if (cv.emitting())
            cv.out << "<polygon class=\"conehead\" points=\"" << xy(tip) << " " << xy(left) << " " << xy(right)
                   << "\" fill=\"" << colour_of(c.ints[0]) << "\" stroke=\"none\"/>\n";
    }
}

void text_at(Canvas& cv, P2 p, const std::string& text, int colour, const char* cls) {
    const double size = 3 * cv.unit;
    // Text runs right from its anchor point and stands on it.
    cv.add_symbol({p.x + 0.3 * size * text.size(), p.y + 0.5 * size}, 0.3 * size * text.size(), 0.5 * size);
    if (!cv.emitting()) return;
    cv.out << "<text";
    if (cls) cv.out << " class=\"" << cls << "\"";
    cv.out << " x=\"" << num(p.x) << "\" y=\"" << num(-p.y) << "\" font-size=\"" << num(size) << "\" fill=\""
           << colour_of(colour) << "\">" << escape(text) << "</text>";
    if (cls) cv.out << "\n";
}

void csys(Canvas& cv, const Call& c) {
    if (c.ints.size() < 2 || !finite(c.values, 0, 13)) return;
    const double* o = c.values.data();
    const double* m = o + 3;
    const double size = c.values[12];
    const P2 origin{o[0], o[1]};
    cv.add(origin);
    P2 tips[3];
    for (int k = 0; k < 3; ++k) {
        tips[k] = {o[0] + size * m[3 * k], o[1] + size * m[3 * k + 1]};
        cv.add(tips[k]);
    }
    const std::string label = c.ints[1] > 0 ? std::string(1, static_cast<char>(c.ints[1])) : std::string();
    if (cv.emitting()) {
        cv.out << "<g class=\"csys\">";
        for (const P2& tip : tips)
            cv.out << "<line x1=\"" << num(origin.x) << "\" y1=\"" << num(-origin.y) << "\" x2=\"" << num(tip.x)
                   << "\" y2=\"" << num(-tip.y) << "\"" << stroke(c.ints[0], 1) << "/>";
    }
    if (!label.empty()) text_at(cv, origin, label, c.ints[0], nullptr);
    if (cv.emitting()) cv.out << "</g>\n";
}

void draw(Canvas& cv, const std::vector<Call>& calls, bool one_view, unsigned int view) {
    int fill = 0;  // the colour of DSS_PRIM_set_color, whatever the view
    for (const Call& c : calls) {
        if (c.op == "color" && !c.ints.empty()) fill = c.ints[0];
        if (one_view && c.view != view) continue;
        if (c.op == "markers") markers(cv, c);
        else if (c.op == "polyline") polyline(cv, c);
        else if (c.op == "arc") arc(cv, c);
        else if (c.op == "polygon_region") region(cv, c, fill);
        else if (c.op == "coneheads") coneheads(cv, c);
        else if (c.op == "csys") csys(cv, c);
        else if (c.op == "text" && !c.text.empty() && finite(c.values, 0, 3))
            text_at(cv, {c.values[0], c.values[1]}, c.text, c.ints.empty() ? 0 : c.ints[0], "text");
    }
}

std::string picture(bool one_view, unsigned int view) {
    Canvas cv;
    draw(cv, calls(), one_view, view);
    if (!cv.empty()) cv.unit = std::max({cv.xmax - cv.xmin, cv.ymax - cv.ymin, 1e-9}) / 100;
    cv.pass = Pass::symbols;
    draw(cv, calls(), one_view, view);
    cv.pass = Pass::emit;
    double x0 = -1, y0 = -1, w = 2, h = 2;
    if (!cv.empty()) {
        const double pad = 2 * cv.unit;
        x0 = cv.xmin - pad;
        y0 = -cv.ymax - pad;
        w = cv.xmax - cv.xmin + 2 * pad;
        h = cv.ymax - cv.ymin + 2 * pad;
    }
    // The larger side 800 pixels wide.
    const double scale = 800 / std::max(w, h);
    cv.out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" << num(x0) << " " << num(y0) << " " << num(w)
           << " " << num(h) << "\" width=\"" << num(std::ceil(w * scale)) << "\" height=\""
           << num(std::ceil(h * scale)) << "\">\n";
    draw(cv, calls(), one_view, view);
    cv.out << "</svg>\n";
    return cv.out.str();
}

bool write(const std::string& file, const std::string& svg) {
    std::ofstream out(file, std::ios::binary);
    out << svg;
    return static_cast<bool>(out.flush());
}

}  // namespace

std::string to_svg() { return picture(false, 0); }
std::string to_svg(unsigned int view) { return picture(true, view); }
bool write_svg(const std::string& file) { return write(file, to_svg()); }
bool write_svg(const std::string& file, unsigned int view) { return write(file, to_svg(view)); }

}  // namespace glimra_test
