#include "compiler/field_analysis.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compiler/compiler_state.h"
#include "compiler/font_analysis.h"
#include "compiler/font_size.h"
#include "compiler/inflate.h"
#include "multibyte/font_metrics.h"
#include "store/element_ops.h"
#include "store/storages.h"

namespace {

bool top_name_is(int obj, const char* label, const char* value) {
    int e = dict_entry(obj, label);
    return e != -1 && g_st.p_elem_strage[e].f_type == ELEM_TYPE_NAME &&
           std::strncmp(g_st.p_elem_strage[e].data.name, value, LABEL_SIZE) == 0;
}

std::string string_value(int obj, const char* parent, const char* label, bool* found) {
    int len = 0;
    const char* s = get_elem_string(obj, parent, label, &len);
    *found = s != nullptr;
    return s ? std::string(s, static_cast<size_t>(len > 0 ? len : 0)) : std::string();
}

void note(const std::string& msg) {
    g_cc.field_errors.push_back(msg);
}

// The font object under `name` in a resource dictionary object or its /Font, or -1.
int font_in_resources(int obj, const char* name) {
    if (obj == -1) return -1;
    int t = ref_target(get_elem(obj, name));
    if (t != -1) return t;
    return obj == -1 ? -1 : ref_target(get_elem(ref_target(get_elem(obj, "Font")), name));
}

// The font object of resource `name` in the form's default resources (the AcroForm's /DR,
// else the widget's own /DR), or -1.
int default_resource_font(int widget, const char* name) {
    int root = get_trailer_objref("Root");
    int acro = valid_xref(root) ? get_xref_absolute(root, "AcroForm") : -1;
    for (int obj : {acro, widget}) {
        if (!valid_xref(obj)) continue;
        int t = font_in_resources(obj, name);
        if (t == -1) t = font_in_resources(ref_target(get_elem(obj, "DR")), name);
        if (t != -1) return t;
    }
    return -1;
}

// Finds where the font resources of appearance object `ap` live: the object holding them
// and the element after which entries go (the Font dictionary's start, or 0 when the object
// is the font dictionary itself). An appearance without font resources gets a Font
// dictionary, in its resources or in new resources.
void font_holder(int ap, int* owner, int* after) {
    int res = dict_entry(ap, "Resources");
    int obj = ap;
    if (res != -1 && g_st.p_elem_strage[res].f_type == ELEM_TYPE_OBJREF) {
        int t = ref_target(res);
        if (t != -1 && t != ap) obj = t;
    }
    int fe = get_elem(obj, "Font");
    if (fe != -1 && g_st.p_elem_strage[fe].f_type == ELEM_TYPE_SUBDIC_START) {
        *owner = obj;
        *after = fe;
        return;
    }
    int t = ref_target(fe);
    if (t != -1 && t != obj) {
        *owner = t;
        *after = 0;
        return;
    }
    if (obj == ap && (res == -1 || g_st.p_elem_strage[res].f_type != ELEM_TYPE_SUBDIC_START)) {
        res = append_elem_subdic_start(ap, 0, "Resources");
        append_elem_subdic_end(ap, res, "Resources");
    }
    int start = append_elem_subdic_start(obj, obj == ap ? res : 0, "Font");
    append_elem_subdic_end(obj, start, "Font");
    *owner = obj;
    *after = start;
}

bool is_operand_byte(char c) {
    return (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '.';
}

}  // namespace

std::string appearance_prefix(const std::string& text) {
    const long len = static_cast<long>(text.size());
    auto find = [&](const char* op) {
        size_t p = text.find(op);
        return p == std::string::npos ? 1000L : static_cast<long>(p);
    };
    long tm = find("Tm"), tl = find("TL"), td = find("Td");
    long point = tm - 2;
    if (tl < point) point = tl - 2;
    if (td < point) point = td - 2;
    if (point >= 997 || len == 0) return text;
    if (point >= len) point = len - 1;
    if (point < 0) point = 0;
    while (point > 0 && is_operand_byte(text[static_cast<size_t>(point)])) --point;
    char c = text[static_cast<size_t>(point)];
    std::string out = text.substr(0, static_cast<size_t>(point) + 1);
    if (c != '\n' && c != '\r') out.push_back(' ');
    return out;
}

void analyse_widget(int w) {
    bool found = false;
    std::string name = string_value(w, "Parent", "T", &found);
    if (!found) return;
    if (w > INT16_MAX) {
        note("Field object number too large(" + name + ")");
        return;
    }
    new_field_strage();
    const int idx = g_st.cur_field_strage;
    auto rec = [idx]() -> st_field& { return g_st.p_field_strage[idx]; };
    rec().obj_no = static_cast<int16_t>(w);
    if (name.size() >= sizeof rec().name) note("Field name too long(" + name + ")");
    std::snprintf(rec().name, sizeof rec().name, "%s", name.c_str());

    int border = get_elem_int(w, "Parent", "W");
    int ap = ref_target(get_elem(w, "N"));
    if (ap == -1 || ap == w) return;
    if (dict_entry(ap, LABEL_STREAM) == -1) return;

    int q = get_elem_int(w, "Parent", "Q");
    rec().align = static_cast<char>(q == -1 ? 0 : q);
    std::string da = string_value(w, "Parent", "DA", &found);
    int ff = get_elem_int(w, "Parent", "Ff");
    if (ff == -1) ff = 0;
    size_t slash = da.find('/');
    if (da.find("Tf") == std::string::npos || slash == std::string::npos) return;

    char word[256] = "", word2[256] = "", size_text[256] = "";
    std::sscanf(da.c_str() + slash + 1, "%255s", word);
    std::sscanf(da.c_str() + slash + 1, "%255s %255s", word2, size_text);
    std::string F = word;
    if (F.size() >= LABEL_SIZE) {
        note("Font name too long(" + name + ")");
        return;
    }
    if (!set_field_font_size(rec(), size_text))
        note("Font size too large(" + name + "), " + std::to_string(int(MAX_FIELD_FONT_SIZE)) +
             " pt used.");

    // Where the appearance's font resources live (made when it has none).
    int owner = -1, after = 0;
    font_holder(ap, &owner, &after);

    // The appearance may name the font differently from the default appearance.
    std::string G;
    int first_entry = *Dict{owner, after}.entries().begin();
    if (first_entry > 0) {
        const st_elem& ae = g_st.p_elem_strage[first_entry];
        if (ae.f_type == ELEM_TYPE_OBJREF && ae.label[0] != 0 &&
            std::strncmp(ae.label, F.c_str(), LABEL_SIZE) != 0)
            G.assign(ae.label, strnlen(ae.label, LABEL_SIZE));
    }

    // The font object: in the appearance's resources, else in the form's default resources
    // (entered into the appearance's font resources so that the output names it too).
    int font = ref_target(get_elem(owner, F.c_str()));
    if (font == -1) {
        font = default_resource_font(w, F.c_str());
        if (font != -1) append_elem_objref(owner, after, F.c_str(), font);
    }
    int font_no = 0;
    bool analysed = false;
    if (font == -1) {
        for (const char* prefix : {"KozGoPr", "KozMinPr"}) {
            if (F.compare(0, std::strlen(prefix), prefix) != 0) continue;
            std::string pattern = std::string(prefix) + "*";
            int e = get_elem(owner, pattern.c_str());
            int t = ref_target(e);
            if (t == -1) continue;
            font_no = analyse_font(t);
            analysed = true;
            F.assign(g_st.p_elem_strage[e].label, strnlen(g_st.p_elem_strage[e].label, LABEL_SIZE));
            break;
        }
    }
    if (font == -1 && !analysed) {
        note("Undefined Font(" + F + ") in field(" + name + ")");
        return;
    }
    if (!analysed) font_no = analyse_font(font);
    std::snprintf(rec().short_name, sizeof rec().short_name, "%s", F.c_str());
    rec().font_no = static_cast<int16_t>(font_no);

    found = false;
    std::string bbox = string_value(ap, nullptr, "BBox", &found);
    const char* bp = bbox.c_str();
    while (*bp == ' ' || *bp == '[') ++bp;
    char xs[64] = "", ys[64] = "";
    std::sscanf(bp, "%*s %*s %63s %63s", xs, ys);
    float x2 = static_cast<float>(std::atof(xs)), y2 = static_cast<float>(std::atof(ys));

    float b = static_cast<float>((border == -1 ? 1 : border) + 1);
    rec().space_w = b;
    rec().width = x2 - 2 * b;

    int H = 1000;
    if (font_no < 0) {
        int n = -font_no;
        H = n < FHEIGHT_COUNT ? fheight[n] : 1000;
    } else if (font_no < g_st.num_font_strage) {
        H = g_st.p_font_strage[font_no].height;
    }
    float line_feed = static_cast<float>(H) * static_cast<float>(rec().font_size10) / 10000.0f;
    rec().line_feed = line_feed;
    float line_start = y2 - b - line_feed;
    const bool multi = (ff & 4096) != 0;
    if (g_cc.f_merlow && !multi) line_start = y2 / 2 - line_feed / 2 + 0.2f * line_feed;
    if (g_cc.f_merlow && multi) line_start = line_start + 0.2f * line_feed;
    if (g_cc.f_merlow14 && !multi) line_start = y2 / 2 - line_feed / 2;
    if (line_start < b) line_start = b;
    rec().line_start = line_start;

    // The appearance text, inflated when it is Flate-encoded.
    int data = dict_entry(ap, LABEL_STREAM);
    if (data == -1 || g_st.p_elem_strage[data].f_type != ELEM_TYPE_STRING) return;
    const st_elem& de = g_st.p_elem_strage[data];
    int stored = de.data.str.len;
    int length = get_elem_int(ap, nullptr, "Length");
    if (length < 0 || length > stored) length = stored;
    std::string raw(elem_bytes(de), static_cast<size_t>(length));
    std::string filter = string_value(ap, nullptr, "Filter", &found);
    if (!found) {
        const char* n = get_elem_name(ap, nullptr, "Filter");
        if (n) filter = n;
    }
    std::string text;
    if (filter.find("FlateDecode") != std::string::npos) {
        // A stream whose end is damaged still gives the text decoded before the damage.
        if (!inflate_data(raw.data(), raw.size(), text) && text.empty()) {
            note("Broken appearance stream(" + name + ")");
            return;
        }
    } else {
        text = raw;
    }
    // The text ends at a NUL, as the generator reads it.
    text.resize(strnlen(text.c_str(), text.size()));

    size_t bmc = text.find("BMC");
    if (bmc != std::string::npos)
        for (size_t k = bmc + 3; k < bmc + 7 && k < text.size(); ++k)
            if (text[k] == 'q') rec().f_q_op = 1;

    std::string start = appearance_prefix(text);
    if (start == text) {
        // No text positioning to cut at. An appearance with a text object is cut after its
        // font operator; one without (an empty field's "/Tx BMC EMC") gets a text object opened
        // with the default appearance, inside its marked content, so the generator's closing
        // operators balance.
        size_t bt = text.find("BT");
        size_t et = bt == std::string::npos ? std::string::npos : text.find("ET", bt + 2);
        if (et != std::string::npos) {
            // Keep the text state up to the font operator; what the text object shows goes.
            size_t tf = text.find("Tf", bt + 2);
            size_t end = tf != std::string::npos && tf < et ? tf + 2 : bt + 2;
            start = text.substr(0, end) + " ";
        } else {
            size_t emc = text.rfind("EMC");
            if (bmc != std::string::npos && emc != std::string::npos && emc > bmc)
                start = text.substr(0, emc);
            else
                start = text + (text.empty() ? "" : "\n") + "/Tx BMC ";
            start += "BT " + da + " ";
            rec().f_q_op = 0;
        }
    }
    if (!G.empty()) {
        size_t p = start.find(G);
        if (p != std::string::npos) start.replace(p, G.size(), F);
    }
    if (start.size() >= sizeof rec().start_str) {
        note("Field appearance too long(" + name + ")");
        return;
    }
    std::memcpy(rec().start_str, start.c_str(), start.size() + 1);
    rec().f_ap = 1;
}

void analyse_fields() {
    for (int i = 0; i < g_st.num_xref_strage; ++i) {
        if (g_st.p_xref_strage[i].first_elem == 0) continue;
        // /Type is optional in annotation dictionaries.
        if (!top_name_is(i, "Subtype", "Widget")) continue;
        if (dict_entry(i, "Type") != -1 && !top_name_is(i, "Type", "Annot")) continue;
        analyse_widget(i);
    }
    // Generated documents carry the appearances of their values; a viewer asked to rebuild
    // them would draw the template's stored values instead.
    bool fillable = false;
    for (int i = 0; i < g_st.num_field_strage; ++i)
        fillable = fillable || g_st.p_field_strage[i].f_ap;
    int root = get_trailer_objref("Root");
    int acro = valid_xref(root) ? get_xref_absolute(root, "AcroForm") : -1;
    if (fillable && valid_xref(acro)) {
        // The AcroForm dictionary may lie inside the catalog: its keys are then in that chain.
        int e = get_elem(acro, "NeedAppearances");
        if (e != -1) switch_off(e);
    }
}
