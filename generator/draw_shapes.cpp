#include "generator/draw_shapes.h"

#include <cstdio>

#include "generator/doc_state.h"
#include "generator/operations.h"

namespace {

void append_f(std::string& out, const char* fmt, double v) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, fmt, v);
    if (n >= static_cast<int>(sizeof buf)) {
        // Huge values print with many digits; give them the room they need.
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), fmt, v);
        big.resize(static_cast<size_t>(n));
        out += big;
        return;
    }
    out.append(buf, static_cast<size_t>(n));
}

void add_shape(Shape shape, float x1, float y1, float x2, float y2, float width, int d1, int d2,
               int d3, int d4) {
    int page = find_page_obj();
    PageGeometry g = read_page_geometry(page);
    std::string text = shape_content_text(shape, g, x1, y1, x2, y2, width, d1, d2, d3, d4);
    int obj = add_content_stream(text.data(), static_cast<int>(text.size()));
    link_page_contents(page, obj, false);
}

}  // namespace

std::string shape_content_text(Shape shape, const PageGeometry& g, float x1, float y1, float x2,
                               float y2, float width, int d1, int d2, int d3, int d4) {
    // Every value is computed in double precision from the single-precision arguments.
    double X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
    double tx, ty, a, b, c, d;  // translation, then the line's end point (a, b) or box path
    if (g.rotate == 90) {
        // Displayed (X, Y) lies at (x0 + Y, y0 + X).
        tx = static_cast<double>(g.x0) + Y1;
        ty = static_cast<double>(g.y0) + X1;
        a = Y2, b = X2, c = Y2, d = X2;
        if (shape == Shape::box) a = X2, b = Y2, c = X2, d = Y2;
    } else if (g.rotate == 180) {
        // Displayed (X, Y) lies at (xx - X, y0 + Y).
        tx = static_cast<double>(g.xx) - X1;
        ty = static_cast<double>(g.y0) + Y1;
        a = -X2, b = Y2;
        c = d = 0;
        if (shape == Shape::box) a = Y2, b = -X2, c = Y2, d = -X2;
    } else if (g.rotate == 270) {
        // Displayed (X, Y) lies at (xx - Y, yy - X).
        tx = static_cast<double>(g.xx) - Y1;
        ty = static_cast<double>(g.yy) - X1;
        a = -Y2, b = -X2;
        c = d = 0;
        if (shape == Shape::box) a = -X2, b = -Y2, c = -X2, d = -Y2;
    } else {
        // Displayed (X, Y) lies at (x0 + X, yy - Y).
        tx = static_cast<double>(g.x0) + X1;
        ty = static_cast<double>(g.yy) - Y1;
        a = X2, b = -Y2;
        c = d = 0;
        if (shape == Shape::box) a = -Y2, b = X2, c = -Y2, d = X2;
    }
    std::string t;
    t.reserve(160);
    t += "q 0 0 0 RG ";
    append_f(t, "%f", width);
    t += " w ";
    if (d2 != 0 || d3 != 0 || d4 != 0) {
        char dash[80];
        std::snprintf(dash, sizeof dash, "[ %d %d %d %d ] 0 d ", d1, d2, d3, d4);
        t += dash;
    }
    t += "0 0 0 rg 1 0 0 1 ";
    append_f(t, "%f", tx);
    t += ' ';
    append_f(t, "%f", ty);
    t += " cm 0 0 m ";
    if (shape == Shape::line) {
        append_f(t, "%f", a);
        t += ' ';
        append_f(t, "%f", b);
        t += " l S Q";
    } else {
        t += "0 ";
        append_f(t, "%f", a);
        t += " l ";
        append_f(t, "%f", b);
        t += ' ';
        append_f(t, "%f", c);
        t += " l ";
        append_f(t, "%f", d);
        t += " 0 l 0 0 l S Q";
    }
    return t;
}

void draw_line(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3,
               int d4) {
    add_shape(Shape::line, x1, y1, x2, y2, width, d1, d2, d3, d4);
}

void draw_box(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3, int d4) {
    add_shape(Shape::box, x1, y1, x2, y2, width, d1, d2, d3, d4);
}

void _drawLine(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3,
               int d4) {
    check_seq(SEQ_IN_PAGE);
    draw_line(x1, y1, x2, y2, width, d1, d2, d3, d4);
}

void _drawBox(float x1, float y1, float x2, float y2, float width, int d1, int d2, int d3, int d4) {
    check_seq(SEQ_IN_PAGE);
    draw_box(x1, y1, x2, y2, width, d1, d2, d3, d4);
}
